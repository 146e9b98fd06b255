// What the preview's update cycle takes from the main thread and what its
// background step hands back; shared by the files of PreviewController.
#pragma once

#include "window/preview/preview_controller.h"

#include <memory>
#include <optional>
#include <vector>

// What a page is prepared from, taken on the main thread.
struct PreviewController::Input {
    QString html;
    std::shared_ptr<const std::vector<qsizetype>> blockStarts;  // where the body's top-level blocks begin, when known
    QString cssPath;
    preview::HeadOptions head;
    std::shared_ptr<const preview::BodyBlocks> previous;      // the page's blocks, when known
    std::shared_ptr<const preview::BodyParts> previousParts;  // the page's parts, when it is in parts
    bool forReplacement = false;
    bool pageTypesets = false;  // the page on screen has MathJax or highlight.js
    QString then;               // puts the page in place after a change
};

// A prepared page: the HTML with its head content, its body's blocks (none
// without a body), and either the script that brings the page on screen up
// to date or the text to load.
struct PreviewController::Prepared {
    QString page;
    std::shared_ptr<const preview::BodyBlocks> blocks;
    preview::TextRange body;  // where the body lies in `page`
    QString script;
    bool patch = false;
    QString pageToLoad;
    bool typesets = false;      // the prepared head has MathJax or highlight.js
    bool pageTypesets = false;  // the page the script goes to has them
    // A body in parts: the parts, those that differ from the page's (for a
    // change), the part of the caret's anchor, and the parts filled in the
    // page to load.
    std::shared_ptr<const preview::BodyParts> parts;
    std::shared_ptr<const preview::BodyParts> partsBefore;
    std::vector<preview::PartHunk> partHunks;
    // For each hunk that puts one part in place of one: how the new part is
    // spliced into the old, when the old is filled in the page.
    std::vector<std::optional<preview::PartSplice>> partSplices;
    qsizetype anchorPart = 0;
    std::vector<bool> partFilled;
};
