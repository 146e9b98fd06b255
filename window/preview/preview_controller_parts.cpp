// The update cycle's page in parts: what a long body's page holds, the
// changes that replace the parts an edit touched, the parts filled as the
// user scrolls and emptied when far, and the geometry of the empty ones.
#include "window/preview/preview_controller.h"
#include "window/preview/preview_controller_state.h"

#include "platform/runtime/dispatch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

#include <algorithm>
#include <cstdlib>

using namespace preview;

namespace {

// The most parts filled by one look at the view, and the characters one
// script of the whole-page fill carries at most.
constexpr qsizetype kPartsPerFill = 8;
constexpr qsizetype kWholePageBatchChars = 1 << 20;
// How often the whole page's math is asked about while it is being set, and
// how long it may set nothing before the page is taken not to finish.
constexpr auto kWholeMathPoll = std::chrono::milliseconds(250);
constexpr qint64 kWholeMathStallMs = 60000;

// The parts filled around the caret's anchor when a page is made.
std::vector<bool> filledAround(qsizetype count, qsizetype anchor) {
    std::vector<bool> filled(static_cast<size_t>(count));
    for (qsizetype k = anchor - 1; k <= anchor + 1; k++)
        if (k >= 0 && k < count)
            filled[size_t(k)] = true;
    return filled;
}

bool near(qsizetype part, qsizetype anchor) { return std::abs(part - anchor) <= 1; }

// `page` (whose body is at `body`) with the body's parts, all empty, in place
// of the body: the parts are filled by script once it has loaded, each taking
// its HTML by itself, so that an element the document's raw HTML leaves open
// cannot take in the parts after it.
QString partedPage(const QString &page, TextRange body, const BodyParts &parts) {
    const QString inner = partedBody(parts);
    QString out;
    out.reserve(page.size() - body.length + inner.size());
    out += QStringView(page).left(body.start);
    out += inner;
    out += QStringView(page).mid(body.start + body.length);
    return out;
}

}  // namespace

bool PreviewController::prepareParts(const Input &input, const QString &head, Prepared &prepared) {
    // The body as the HTML received has it (after its head, whatever the
    // head's text holds).
    const qsizetype headEnd = input.html.indexOf(QLatin1String("</head>"));
    const std::optional<TextRange> found = bodyRange(input.html, headEnd < 0 ? 0 : headEnd);
    if (!found || found->length <= kPartedBodyChars)
        return false;
    // The page is the HTML without its body, with the head content put in;
    // the blocks are cut in the HTML received, which they share: no copy of
    // a long body is made.
    const TextRange raw = *found;
    QString shell;
    shell.reserve(input.html.size() - raw.length);
    shell += QStringView(input.html).left(raw.start);
    shell += QStringView(input.html).mid(raw.start + raw.length);
    qsizetype contentStart = 0;
    prepared.page = applyHead(shell, head, &contentStart);
    const std::optional<TextRange> body = bodyRange(prepared.page, contentStart);
    if (!body)
        return false;
    prepared.body = *body;
    auto blocks = std::make_shared<const BodyBlocks>(input.html, partedBlockStarts(input.html, raw, input.blockStarts.get()), raw.start + raw.length);
    const qsizetype anchor = input.html.indexOf(u"TZRHTMLSCROLLPOINT", raw.start);
    if (input.forReplacement && input.previousParts) {
        PartChange change = changeParts(*input.previousParts, blocks);
        prepared.parts = std::make_shared<const BodyParts>(std::move(change.parts));
        prepared.partsBefore = input.previousParts;
        // Taken part by part, and the splices of long parts made here, off
        // the main thread: each reads megabytes in a long line.
        prepared.partHunks = partByPart(*prepared.partsBefore, *prepared.parts, change.hunks);
        for (const PartHunk &hunk : prepared.partHunks) {
            std::optional<PartSplice> cut;
            if (hunk.removed == 1 && hunk.inserted == 1) {
                const QStringView before = prepared.partsBefore->text(hunk.before);
                const QStringView after = prepared.parts->text(hunk.after);
                cut = partSplice(before, after);
                if (cut)
                    cut->inner = innerRun(before, after, *cut);
            }
            prepared.partSplices.push_back(std::move(cut));
        }
    } else {
        prepared.parts = std::make_shared<const BodyParts>(blocks);
    }
    prepared.anchorPart = anchor >= 0 ? prepared.parts->partAt(anchor) : 0;
    if (!prepared.partsBefore) {
        prepared.partFilled = filledAround(prepared.parts->count(), prepared.anchorPart);
        prepared.pageToLoad = partedPage(prepared.page, prepared.body, *prepared.parts);
    }
    return true;
}

void PreviewController::applyPartsChange(const std::shared_ptr<const Prepared> &prepared, quint64 generation) {
    m_currentSourceHTML = prepared->page;
    m_pageBlocks.reset();
    if (!prepared->pageToLoad.isEmpty()) {
        m_pageParts.reset();
        applyReload(prepared, ++m_pageGeneration);
        return;
    }
    if (generation != m_pageGeneration) {
        // The page was loaded afresh since, with this HTML or a newer one.
        finishedUpdating();
        return;
    }
    const BodyParts &parts = *prepared->parts;
    if (m_pageParts != prepared->partsBefore || qsizetype(m_partFilled.size()) != prepared->partsBefore->count()) {
        // The page no longer holds the parts the change was made against.
        loadPartedPage(prepared, filledAround(parts.count(), prepared->anchorPart));
        return;
    }
    const std::vector<PartHunk> &hunks = prepared->partHunks;
    // Parts the change left keep their state; a new part is filled when one
    // it replaces was, or when it is near the caret's anchor.
    std::vector<bool> filled(size_t(parts.count()));
    std::vector<std::vector<NewPart>> made;
    qsizetype oldPart = 0, newPart = 0;
    for (size_t h = 0; h < hunks.size(); h++) {
        const PartHunk &hunk = hunks[h];
        for (; oldPart < hunk.before; oldPart++, newPart++)
            filled[size_t(newPart)] = m_partFilled[size_t(oldPart)];
        bool wasFilled = false;
        for (qsizetype k = hunk.before; k < hunk.before + hunk.removed; k++)
            wasFilled = wasFilled || m_partFilled[size_t(k)];
        std::vector<NewPart> list;
        for (qsizetype k = hunk.after; k < hunk.after + hunk.inserted; k++) {
            filled[size_t(k)] = wasFilled || near(k, prepared->anchorPart);
            list.push_back({k, filled[size_t(k)], std::nullopt});
        }
        if (wasFilled && prepared->partSplices[h])
            list.front().splice = prepared->partSplices[h];
        made.push_back(std::move(list));
        oldPart = hunk.before + hunk.removed;
        newPart = hunk.after + hunk.inserted;
    }
    for (; newPart < parts.count(); oldPart++, newPart++)
        filled[size_t(newPart)] = m_partFilled[size_t(oldPart)];
    std::vector<qsizetype> fills;
    for (qsizetype k = prepared->anchorPart - 1; k <= prepared->anchorPart + 1; k++)
        if (k >= 0 && k < parts.count() && !filled[size_t(k)]) {
            filled[size_t(k)] = true;
            fills.push_back(k);
        }
    const std::vector<qsizetype> empties = partsToEmpty(filled, prepared->anchorPart, prepared->anchorPart);
    const QString script =
        changePartsScript(prepared->partsBefore->count(), parts, hunks, made, fills, empties, positionScript());
    QPointer<PreviewController> self(this);
    m_page->run(script, blockWorld(m_pageTypesets),
                [self, prepared, generation, filled, resizes = m_resizes](bool finished, const QVariant &result) {
                    if (self)
                        self->partsChanged(prepared, generation, filled, finished, result.toBool(),
                                           !finished && resizes != self->m_resizes);
                });
}

void PreviewController::partsChanged(const std::shared_ptr<const Prepared> &prepared, quint64 generation,
                                     std::vector<bool> filled, bool finished, bool changed, bool layingOut) {
    if (generation == m_pageGeneration) {
        if (!finished) {
            // No answer: whatever the page holds now is unknown, and it is
            // loaded afresh.
            m_pageParts.reset();
            refreshFailed(layingOut);
        } else if (!changed) {
            // The page was not the one the change was made against, or the
            // change failed in it: the page is made again.
            loadPartedPage(prepared, filledAround(prepared->parts->count(), prepared->anchorPart));
            return;
        } else {
            m_pageParts = prepared->parts;
            m_partFilled = std::move(filled);
            refreshSucceeded();
        }
    }
    finishedUpdating();
    scheduleContentBounds();
    partsMayShow();
}

void PreviewController::loadPartedPage(const std::shared_ptr<const Prepared> &prepared, std::vector<bool> filled) {
    auto page = std::make_shared<Prepared>(*prepared);
    page->partsBefore.reset();
    page->partHunks.clear();
    page->partSplices.clear();
    page->pageToLoad = partedPage(page->page, page->body, *page->parts);
    page->partFilled = std::move(filled);
    m_pageParts.reset();
    applyReload(page, ++m_pageGeneration);
}

void PreviewController::fillLoadedParts(const std::shared_ptr<const Prepared> &prepared, quint64 generation) {
    // Taken as filled at once: the page runs scripts in order, so the parts
    // are in before any later change reaches it; a fill that fails makes the
    // page unknown, and it is loaded again.
    m_pageParts = prepared->parts;
    m_partFilled = prepared->partFilled;
    std::vector<qsizetype> fills;
    for (qsizetype k = 0; k < qsizetype(m_partFilled.size()); k++)
        if (m_partFilled[size_t(k)])
            fills.push_back(k);
    QPointer<PreviewController> self(this);
    m_page->run(changePartsScript(prepared->parts->count(), *prepared->parts, {}, {}, fills, {}),
                blockWorld(prepared->typesets),
                [self, prepared, generation, resizes = m_resizes](bool finished, const QVariant &result) {
                    if (self && generation == self->m_pageGeneration && self->m_pageParts == prepared->parts &&
                        !(finished && result.toBool())) {
                        self->m_pageParts.reset();
                        self->refreshFailed(!finished && resizes != self->m_resizes);
                    }
                });
    m_page->run(sizeEmptyPartsScript(), PreviewPageDriver::World::Application, {});
}

std::vector<qsizetype> PreviewController::partsToEmpty(std::vector<bool> &filled, qsizetype first,
                                                       qsizetype last) const {
    std::vector<qsizetype> candidates;
    for (qsizetype k = 0; k < qsizetype(filled.size()); k++)
        if (filled[size_t(k)] && (k < first - 1 || k > last + 1))
            candidates.push_back(k);
    const qsizetype count = qsizetype(std::count(filled.begin(), filled.end(), true));
    std::vector<qsizetype> empties;
    if (m_wholePage || count <= kMaxFilledParts)
        return empties;
    auto distance = [&](qsizetype k) { return k < first ? first - k : k - last; };
    std::sort(candidates.begin(), candidates.end(),
              [&](qsizetype a, qsizetype b) { return distance(a) > distance(b); });
    for (qsizetype i = 0; i < qsizetype(candidates.size()) && count - qsizetype(empties.size()) > kMaxFilledParts;
         i++) {
        empties.push_back(candidates[size_t(i)]);
        filled[size_t(candidates[size_t(i)])] = false;
    }
    return empties;
}

// --- Parts filled as the user scrolls -----------------------------------------------

void PreviewController::partsMayShow() {
    if (m_pageParts)
        m_partsInView.start();
}

void PreviewController::fillPartsInView() {
    // While the window is being resized the page gets nothing: the reload
    // at the resize's end fills the parts in view.
    if (!m_pageParts || m_frozen || m_resizing)
        return;
    if (m_updating) {
        m_partsCheckAfterCycle = true;
        return;
    }
    // Held like a refresh, so that no change goes to the page meanwhile.
    setUpdating(true);
    QPointer<PreviewController> self(this);
    m_page->run(partsInViewScript(), PreviewPageDriver::World::Application,
                [self, parts = m_pageParts, generation = m_pageGeneration](bool finished, const QVariant &result) {
                    if (self)
                        self->fillParts(parts, generation, finished ? result.toString() : QString());
                });
}

void PreviewController::fillParts(const std::shared_ptr<const BodyParts> &parts, quint64 generation,
                                  const QString &view) {
    const QJsonObject answer = QJsonDocument::fromJson(view.toUtf8()).object();
    if (answer.isEmpty() || parts != m_pageParts || generation != m_pageGeneration ||
        answer.value("count").toInteger() != parts->count()) {
        partsDone(false);
        return;
    }
    std::vector<bool> filled = m_partFilled;
    std::vector<qsizetype> fills;
    for (const QJsonValue &value : answer.value("empty").toArray()) {
        const qsizetype k = value.toInteger(-1);
        if (k >= 0 && k < parts->count() && !filled[size_t(k)] && qsizetype(fills.size()) < kPartsPerFill) {
            filled[size_t(k)] = true;
            fills.push_back(k);
        }
    }
    const std::vector<qsizetype> empties =
        partsToEmpty(filled, answer.value("first").toInteger(), answer.value("last").toInteger());
    if (fills.empty() && empties.empty()) {
        partsDone(false);
        return;
    }
    QPointer<PreviewController> self(this);
    m_page->run(changePartsScript(parts->count(), *parts, {}, {}, fills, empties), blockWorld(m_pageTypesets),
                [self, parts, generation, filled, more = !fills.empty(),
                 resizes = m_resizes](bool finished, const QVariant &result) {
                    if (!self)
                        return;
                    if (parts == self->m_pageParts && generation == self->m_pageGeneration) {
                        if (finished && result.toBool()) {
                            self->m_partFilled = filled;
                            self->refreshSucceeded();
                        } else {
                            // The parts the user scrolled to stay empty: the
                            // page is loaded again.
                            self->m_pageParts.reset();
                            self->refreshFailed(!finished && resizes != self->m_resizes);
                        }
                    }
                    self->partsDone(more && finished && result.toBool());
                });
}

void PreviewController::partsDone(bool changed) {
    platform::Dispatch::after(std::chrono::milliseconds(1), this, [this] { resumeUpdating(); });
    if (changed) {
        // What was filled changed the page's size; more may have come near.
        scheduleContentBounds();
        m_partsInView.start();
    }
    if (m_wholePage && m_wholePageDone)
        platform::Dispatch::after(std::chrono::milliseconds(2), this, [this] { fillWholeStep(); });
}

// --- The whole page -----------------------------------------------------------------

void PreviewController::showWholePage(std::function<void(bool)> done) {
    m_wholePage = true;
    if (m_wholePageDone)
        m_wholePageDone(false);
    m_wholePageDone = std::move(done);
    fillWholeStep();
}

void PreviewController::endWholePage() {
    m_wholePage = false;
    if (auto done = std::exchange(m_wholePageDone, {}))
        done(false);
    // The math far from the view waits again.
    if (m_pageTypesets && !m_pageEnded)
        m_page->run(setAllMathScript(false), PreviewPageDriver::World::Page, {});
    partsMayShow();
}

void PreviewController::fillWholeStep() {
    if (!m_wholePageDone)
        return;
    if (!m_pageParts) {
        // A page that holds its body whole, or none that can be filled: its
        // math is set once the page being loaded or changed has taken in
        // its blocks.
        if (m_pageBroken || m_frozen)
            std::exchange(m_wholePageDone, {})(false);
        else if (m_updating)
            platform::Dispatch::after(std::chrono::milliseconds(20), this, [this] { fillWholeStep(); });
        else
            setWholeMath(m_pageGeneration, -1, {});
        return;
    }
    if (m_updating) {
        platform::Dispatch::after(std::chrono::milliseconds(20), this, [this] { fillWholeStep(); });
        return;
    }
    std::vector<bool> filled = m_partFilled;
    std::vector<qsizetype> fills;
    qsizetype chars = 0;
    for (qsizetype k = 0; k < m_pageParts->count() && chars < kWholePageBatchChars; k++)
        if (!filled[size_t(k)]) {
            filled[size_t(k)] = true;
            fills.push_back(k);
            chars += m_pageParts->text(k).size();
        }
    if (fills.empty()) {
        setWholeMath(m_pageGeneration, -1, {});
        return;
    }
    setUpdating(true);
    QPointer<PreviewController> self(this);
    m_page->run(
        changePartsScript(m_pageParts->count(), *m_pageParts, {}, {}, fills, {}), blockWorld(m_pageTypesets),
        [self, parts = m_pageParts, generation = m_pageGeneration, filled,
         resizes = m_resizes](bool finished, const QVariant &result) {
            if (!self)
                return;
            const bool same = parts == self->m_pageParts && generation == self->m_pageGeneration;
            if (same && finished && result.toBool()) {
                self->m_partFilled = filled;
            } else if (same) {
                self->m_pageParts.reset();
                self->refreshFailed(!finished && resizes != self->m_resizes);
                if (auto done = std::exchange(self->m_wholePageDone, {}))
                    done(false);
            }
            self->partsDone(false);
        });
}

// The page's math is set whole, the typesetter's slices going on in the
// page while this asks how many blocks are left every kWholeMathPoll: the
// program stays responsive meanwhile. The page answers whether it finished:
// not when it was replaced, its process ended, or it set nothing for
// kWholeMathStallMs.
void PreviewController::setWholeMath(quint64 generation, qint64 left, QElapsedTimer progress) {
    if (!m_wholePageDone)
        return;
    if (generation != m_pageGeneration || m_pageEnded) {
        std::exchange(m_wholePageDone, {})(false);
        return;
    }
    if (!m_pageTypesets) {
        std::exchange(m_wholePageDone, {})(true);
        return;
    }
    if (!progress.isValid())
        progress.start();
    QPointer<PreviewController> self(this);
    m_page->run(setAllMathScript(true), PreviewPageDriver::World::Page,
                [self, generation, left, progress](bool finished, const QVariant &result) mutable {
                    if (!self || !self->m_wholePageDone)
                        return;
                    bool number = false;
                    const qint64 now = result.toLongLong(&number);
                    if (!finished || !number || now < 0 || generation != self->m_pageGeneration) {
                        std::exchange(self->m_wholePageDone, {})(false);
                        return;
                    }
                    if (now == 0) {
                        std::exchange(self->m_wholePageDone, {})(true);
                        return;
                    }
                    if (left < 0 || now < left)
                        progress.start();
                    else if (progress.elapsed() > kWholeMathStallMs) {
                        std::exchange(self->m_wholePageDone, {})(false);
                        return;
                    }
                    platform::Dispatch::after(kWholeMathPoll, self.data(), [self, generation, now, progress] {
                        if (self)
                            self->setWholeMath(generation, now, progress);
                    });
                });
}

// --- Geometry ------------------------------------------------------------------------

void PreviewController::expandEmptyParts(PageGeometry &geometry) const {
    static const QString Empty = QStringLiteral("#orvane-rest:");
    std::vector<PageGeometry::Node> nodes;
    nodes.reserve(geometry.children.size());
    for (PageGeometry::Node &node : geometry.children) {
        bool number = false;
        const qsizetype k = node.name.startsWith(Empty) ? node.name.mid(Empty.size()).toLongLong(&number) : -1;
        if (!number || k < 0 || k >= m_pageParts->count()) {
            nodes.push_back(std::move(node));
            continue;
        }
        // The part's blocks down its height, each by its share of the text.
        const BodyBlocks &blocks = m_pageParts->blocks();
        const qsizetype first = m_pageParts->firstBlock(k), count = m_pageParts->blockCount(k);
        const double chars = std::max<double>(1, double(m_pageParts->text(k).size()));
        double top = node.top;
        for (qsizetype b = first; b < first + count; b++) {
            const double height = node.height * double(blocks.block(b).size()) / chars;
            const QString name = blockElementName(blocks.block(b));
            if (name != QLatin1String("#text"))
                nodes.push_back({name, top, height});
            top += height;
        }
    }
    geometry.children = std::move(nodes);
}
