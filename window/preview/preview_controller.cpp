#include "window/preview/preview_controller.h"
#include "window/preview/preview_controller_state.h"

#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "platform/runtime/idle_work.h"
#include "platform/web/html_tags.h"
#include "window/preview/editor_surface.h"
#include "window/preview/preview_preferences.h"
#include "window/window_log.h"

#include <QDateTime>
#include <QLocale>
#include <QPointer>

#include <cmath>
#include <utility>

using namespace preview;

namespace {

bool preference(const QString &key) {
    return platform::Defaults::standard().boolForKey(key);
}

// Crashes closer together than this are not reloaded at once: the next
// update reloads instead, so a page that kills its process cannot spin.
constexpr qint64 CrashReloadInterval = 2000;

// Whether a script that replaces the whole body says it went in: no answer
// (the script failed in the page) or 0 (no body) says it did not.
bool bodyWentIn(const QVariant &answer) {
    return answer.toInt() > 0;
}

// `page` with its body's blocks separated by markers, for the page to map
// them once loaded.
QString markedPage(const QString &page, TextRange body, const BodyBlocks &blocks) {
    const QString marked = blocks.joinedWithMarkers();
    QString out;
    out.reserve(page.size() + marked.size() - body.length);
    out += QStringView(page).left(body.start);
    out += marked;
    out += QStringView(page).mid(body.start + body.length);
    return out;
}

}  // namespace

PreviewController::PreviewController(PreviewPageDriver *page, QObject *parent) : QObject(parent), m_page(page) {
    m_geometrySettle.setSingleShot(true);
    m_geometrySettle.setInterval(GeometrySettleMilliseconds);
    connect(&m_geometrySettle, &QTimer::timeout, this, [this] {
        // A refresh running now restarts the wait when it finishes; the
        // reload at the end of a resize reads the geometry anew.
        if (!m_updating && !m_resizing)
            updateContentBounds();
    });
    m_retryFailed.setSingleShot(true);
    m_retryFailed.setInterval(RetryFailedMilliseconds);
    connect(&m_retryFailed, &QTimer::timeout, this, [this] {
        if (!m_pageBroken)
            return;
        // The refresh running now ends in success or fails and waits again;
        // one that ends in neither leaves the page broken: look again then.
        if (m_updating)
            m_retryFailed.start();
        else
            reloadPreview();
    });
    m_partsInView.setSingleShot(true);
    m_partsInView.setInterval(60);
    connect(&m_partsInView, &QTimer::timeout, this, [this] { fillPartsInView(); });
}

PreviewController::~PreviewController() = default;

QUrl PreviewController::previewURL() const {
    return m_baseURL.isEmpty() ? untitledPreviewUrl() : m_baseURL;
}

// --- The update cycle ---------------------------------------------------------------

void PreviewController::updatePreview(const PreviewHtml &html) {
    m_newestTakesInFiles = preference(Transclusion);
    if (m_page->isHiddenInWindow()) {
        m_heldWhileHidden = html;
        return;
    }
    m_heldWhileHidden.reset();
    if (m_updating) {
        m_needsFinalUpdate = true;
        m_pendingData = html;
        return;
    }
    m_baseSourceHTML = html.html;
    m_baseBlockStarts = html.blockStarts;
    m_hasHtml = true;
    // Kept, not shown: while frozen, while the page is ended (the user's
    // refresh shows it), while the window is being resized (the page is
    // brought up to date at its end), and while a page that failed again and
    // again waits for its retry, which loads the newest; a reload asked for
    // meanwhile does not wait for the retry.
    const bool reloadAsked = m_reloadNextUpdate || m_reloadAfterCycle;
    m_heldDuringResize = m_heldDuringResize || m_resizing;
    if (m_frozen || m_pageEnded || m_resizing || (backingOff() && !reloadAsked))
        return;
    setUpdating(true);
    if (reloadAsked) {
        m_reloadNextUpdate = false;
        m_reloadAfterCycle = false;
        startReload();
        return;
    }
    if (preference(AlwaysReloadPreview) || m_pageBroken)
        startReload();
    else
        startReplacement();
}

void PreviewController::shown() {
    if (m_page->isHiddenInWindow())
        return;
    if (std::exchange(m_loadWhenShown, false)) {
        // The page is loaded with the newest HTML.
        if (m_heldWhileHidden) {
            m_reloadNextUpdate = true;
            updatePreview(*std::exchange(m_heldWhileHidden, std::nullopt));
        } else {
            reloadPreview();
        }
        return;
    }
    if (m_heldWhileHidden)
        updatePreview(*std::exchange(m_heldWhileHidden, std::nullopt));
}

void PreviewController::hidden() {
    if (!m_loadGeneration || !m_page->isHiddenInWindow())
        return;
    // What the load answers belongs to no page of ours any more.
    m_loadGeneration.reset();
    ++m_pageGeneration;
    m_pageBlocks.reset();
    m_pageParts.reset();
    m_loadWhenShown = true;
    m_page->abandonLoad();
}

void PreviewController::reloadPreview() {
    if (m_frozen || m_pageEnded)
        return;
    if (!m_hasHtml) {
        // Nothing to show yet (on a loaded machine the window may thaw its
        // preview before the engine has published): the first HTML is
        // loaded as the page. Put by script into an empty page loaded now,
        // it would run none of the document's scripts.
        m_reloadNextUpdate = true;
        return;
    }
    if (m_page->isHiddenInWindow()) {
        m_loadWhenShown = true;
        return;
    }
    if (m_updating) {
        // One refresh at a time: the reload follows the one running.
        m_reloadAfterCycle = true;
        return;
    }
    setUpdating(true);
    startReload();
}

void PreviewController::refreshPreview() {
    // Asked for by the user: now, whatever failed before.
    m_pageEnded = false;
    m_failedInARow = 0;
    m_retryFailed.stop();
    reloadPreview();
}

void PreviewController::setBaseURL(const QUrl &url) {
    if (url == m_baseURL)
        return;
    m_baseURL = url;
    reloadPreview();
}

void PreviewController::applyCSSFromPath(const QString &path) {
    m_activeCSSPath = path;
    reloadPreview();
}

void PreviewController::thawAndReload() {
    m_frozen = false;
    reloadPreview();
}

void PreviewController::windowResizing() {
    m_resizing = true;
    m_resizes++;
}

void PreviewController::windowResized() {
    if (!m_resizing)
        return;
    m_resizing = false;
    // A fresh start: whatever wait a retry was at, and failures after it
    // count from the first.
    m_failedInARow = 0;
    m_retryFailed.stop();
    if (m_frozen || m_pageEnded)
        return;
    if (m_updating)
        m_refitAfterCycle = true;
    else
        refitToEditor();
}

void PreviewController::refitToEditor() {
    // A page that is not known block by block, or broke (it may have left a
    // change unanswered while it laid itself out), is loaded afresh; so is
    // one whose reload was asked for anyway.
    if ((!m_pageBlocks && !m_pageParts) || m_pageBroken || m_reloadNextUpdate || m_reloadAfterCycle) {
        m_reloadNextUpdate = m_reloadAfterCycle = false;
        m_heldDuringResize = false;
        reloadPreview();
        return;
    }
    // Otherwise the page keeps its place (a reload would put it at the
    // scroll anchor of the newest HTML, which a caret moved since, by Find
    // or a click, has left behind, and take seconds at the size of a book):
    // its margins follow the editor's new height in place, and the empty
    // parts of a page in parts their new width.
    setUpdating(true);
    QString script = fitMarginsScript(m_editor ? m_editor->viewHeight() : 0);
    if (m_pageParts)
        script = QStringLiteral("(%1) && %2").arg(script, sizeEmptyPartsScript());
    QPointer<PreviewController> self(this);
    m_page->run(script, PreviewPageDriver::World::Application,
                [self, generation = m_pageGeneration, resizes = m_resizes](bool finished, const QVariant &result) {
                    if (self)
                        self->refitted(generation, finished, result.toBool(), resizes != self->m_resizes);
                });
}

void PreviewController::refitted(quint64 generation, bool finished, bool fitted, bool resizedAgain) {
    if (generation != m_pageGeneration) {
        finishedUpdating();
        return;
    }
    if (!finished || !fitted) {
        // Not answered (the page is still laying itself out, or broke), or
        // not a page of the preview's making: it is loaded afresh.
        m_pageBlocks.reset();
        m_pageParts.reset();
        if (!finished)
            refreshFailed(resizedAgain);
        // Resized again meanwhile: the end of that resize loads it.
        m_reloadAfterCycle = !resizedAgain;
        finishedUpdating();
        return;
    }
    if (std::exchange(m_heldDuringResize, false)) {
        // Changes came while the window was resized: they go in now, and the
        // page is put where they were made.
        startReplacement();
        return;
    }
    finishedUpdating();
    scheduleContentBounds();
    partsMayShow();
}

PreviewController::Input PreviewController::snapshot(bool forReplacement) {
    Input input;
    input.html = m_baseSourceHTML;
    input.blockStarts = m_baseBlockStarts;
    input.cssPath = m_activeCSSPath;
    input.head.viewHeight = m_editor ? m_editor->viewHeight() : 0;
    input.head.mathJax = preference(AddMathJax);
    input.head.syntaxHighlighting = preference(AddSyntaxHighlighting);
    input.head.scripts = ScriptLocations::local();
    input.previous = m_pageBlocks;
    input.previousParts = m_pageParts;
    input.forReplacement = forReplacement;
    input.pageTypesets = m_pageTypesets;
    if (forReplacement) {
        m_storedScrollPosition = m_page->scrollPosition();
        input.then = positionScript();
    }
    return input;
}

void PreviewController::startReplacement() {
    const quint64 generation = m_pageGeneration;
    QPointer<PreviewController> self(this);
    platform::Dispatch::background([self, generation, input = snapshot(true)] {
        std::shared_ptr<const Prepared> prepared = prepare(input);
        platform::Dispatch::main([self, generation, prepared] {
            if (self)
                self->applyReplacement(prepared, generation);
        });
    });
}

void PreviewController::startReload() {
    const quint64 generation = ++m_pageGeneration;
    m_pageBlocks.reset();
    m_pageParts.reset();
    QPointer<PreviewController> self(this);
    platform::Dispatch::background([self, generation, input = snapshot(false)] {
        std::shared_ptr<const Prepared> prepared = prepare(input);
        platform::Dispatch::main([self, generation, prepared] {
            if (self)
                self->applyReload(prepared, generation);
        });
    });
}

void PreviewController::applyReplacement(const std::shared_ptr<const Prepared> &prepared, quint64 generation) {
    if (m_pageEnded || m_resizing) {
        // Prepared before the page was ended (the note stays), or before the
        // window was resized (it goes in when the resize is over).
        m_heldDuringResize = m_heldDuringResize || m_resizing;
        finishedUpdating();
        return;
    }
    if (prepared->parts) {
        applyPartsChange(prepared, generation);
        return;
    }
    m_currentSourceHTML = prepared->page;
    // The page gets a whole body from here on.
    m_pageParts.reset();
    if (!prepared->blocks || !prepared->pageToLoad.isEmpty()) {
        // No body to put in, or one too long to go in by script: the page is
        // loaded in full.
        const quint64 fresh = ++m_pageGeneration;
        m_pageBlocks.reset();
        if (!prepared->blocks) {
            auto page = std::make_shared<Prepared>(*prepared);
            page->pageToLoad = page->page;
            applyReload(page, fresh);
        } else {
            applyReload(prepared, fresh);
        }
        return;
    }
    if (generation != m_pageGeneration) {
        // The page was loaded afresh since, with this HTML or a newer one.
        finishedUpdating();
        return;
    }
    QPointer<PreviewController> self(this);
    m_page->run(prepared->script, blockWorld(prepared->pageTypesets),
                [self, prepared, generation, resizes = m_resizes](bool finished, const QVariant &result) {
                    if (!self)
                        return;
                    const bool layingOut = !finished && resizes != self->m_resizes;
                    if (!prepared->patch) {
                        self->replacementDone(prepared, generation, finished && bodyWentIn(result),
                                              result.toInt() == 2, layingOut);
                    } else if (finished && !result.toBool()) {
                        // The page was not the one the change was made
                        // against, or the change failed in it: it gets the
                        // whole body.
                        self->replaceWholeBody(prepared, generation);
                    } else {
                        self->replacementDone(prepared, generation, finished, result.toBool(), layingOut);
                    }
                });
}

void PreviewController::replaceWholeBody(const std::shared_ptr<const Prepared> &prepared, quint64 generation) {
    m_pageBlocks.reset();
    if (prepared->blocks->text().size() > kBodyScriptLimit) {
        auto page = std::make_shared<Prepared>(*prepared);
        page->script.clear();
        page->pageToLoad = markedPage(page->page, page->body, *page->blocks);
        applyReload(page, ++m_pageGeneration);
        return;
    }
    QPointer<PreviewController> self(this);
    m_page->run(replaceBodyScript(*prepared->blocks, prepared->pageTypesets, positionScript()),
                blockWorld(prepared->pageTypesets),
                [self, prepared, generation, resizes = m_resizes](bool finished, const QVariant &result) {
                    if (self)
                        self->replacementDone(prepared, generation, finished && bodyWentIn(result),
                                              result.toInt() == 2, !finished && resizes != self->m_resizes);
                });
}

void PreviewController::replacementDone(const std::shared_ptr<const Prepared> &prepared, quint64 generation,
                                        bool finished, bool mapped, bool layingOut) {
    if (generation == m_pageGeneration) {
        if (!finished) {
            // No answer, or the body did not go in: whatever the page holds
            // now is unknown, and it is loaded afresh.
            m_pageBlocks.reset();
            refreshFailed(layingOut);
        } else {
            m_pageBlocks = mapped ? prepared->blocks : nullptr;
            refreshSucceeded();
        }
    }
    finishedUpdating();
    scheduleContentBounds();
}

PreviewPageDriver::World PreviewController::blockWorld(bool pageTypesets) {
    return pageTypesets ? PreviewPageDriver::World::Page : PreviewPageDriver::World::Application;
}

void PreviewController::applyReload(const std::shared_ptr<const Prepared> &prepared, quint64 generation) {
    if (generation != m_pageGeneration || m_pageEnded) {
        finishedUpdating();
        return;
    }
    if (m_page->isHiddenInWindow()) {
        // Hidden since the refresh began: loaded once shown.
        m_pageBlocks.reset();
        m_pageParts.reset();
        m_loadWhenShown = true;
        finishedUpdating();
        return;
    }
    m_currentSourceHTML = prepared->page;
    m_pageBroken = false;
    m_storedScrollPosition = m_page->scrollPosition();
    m_loadGeneration = generation;
    QPointer<PreviewController> self(this);
    m_page->load(prepared->pageToLoad, previewURL(), [self, prepared, generation](bool ok) {
        if (self)
            self->loadDone(prepared, generation, ok);
    });
}

void PreviewController::loadDone(const std::shared_ptr<const Prepared> &prepared, quint64 generation, bool ok) {
    if (m_loadGeneration == generation)
        m_loadGeneration.reset();
    if (generation == m_pageGeneration) {
        m_pageTypesets = prepared->typesets;
        if (!ok) {
            refreshFailed();
        } else if (prepared->parts) {
            fillLoadedParts(prepared, generation);
        } else if (prepared->blocks) {
            // Taken as mapped at once, so that the next change is a patch:
            // the page runs scripts in order, so the map is made before the
            // patch arrives, even when a large page answers the map too late
            // for the watchdog; and a patch checks the page it finds. Only a
            // map that failed makes the blocks unknown.
            m_pageBlocks = prepared->blocks;
            QPointer<PreviewController> self(this);
            m_page->run(mapBlocksScript(prepared->blocks->count()), blockWorld(prepared->typesets),
                        [self, prepared, generation](bool finished, const QVariant &result) {
                            if (self && generation == self->m_pageGeneration && finished && !result.toBool() &&
                                self->m_pageBlocks == prepared->blocks)
                                self->m_pageBlocks.reset();
                        });
        }
        if (ok && prepared->typesets)
            m_page->run(typesetBodyScript(), PreviewPageDriver::World::Page, {});
        if (ok)
            scrollToMatchTextView();
    }
    finishedUpdating();
    emit pageLoaded();
    updateContentBounds();
    partsMayShow();
}

QString PreviewController::positionScript() const {
    if (preference(SyncPreviewLocationWhileTyping)) {
        if (!m_editor)
            return {};
        const double cursor = m_editor->cursorPosition();
        if (!std::isfinite(cursor))
            return {};
        const double offset = cursor * m_editor->viewHeight() / m_zoomFactor;
        if (!std::isfinite(offset) || std::abs(offset) > 1e9)
            return {};
        return scrollToAnchorScript(int(offset));
    }
    return scrollToScript(m_storedScrollPosition.x(), m_storedScrollPosition.y());
}

void PreviewController::scrollToMatchTextView() {
    // A page without the anchor is not scrolled.
    const QString script = positionScript();
    if (!script.isEmpty())
        m_page->run(QStringLiteral("try { %1 } catch (e) {}").arg(script), PreviewPageDriver::World::Application, {});
}

void PreviewController::setUpdating(bool updating) {
    m_updating = updating;
    // The editors' work in the background makes room for the page's while
    // it is being changed or loaded: the page needs many turns of the event
    // loop, and would otherwise wait behind the turns of idle work.
    if (updating)
        platform::IdleWork::instance().hold(this);
    else
        platform::IdleWork::instance().release(this);
}

void PreviewController::finishedUpdating() {
    emit refreshed();
    platform::Dispatch::after(std::chrono::milliseconds(1), this, [this] { resumeUpdating(); });
}

void PreviewController::resumeUpdating() {
    setUpdating(false);
    if (std::exchange(m_partsCheckAfterCycle, false))
        partsMayShow();
    if (std::exchange(m_refitAfterCycle, false) && !m_resizing && !m_frozen && !m_pageEnded) {
        // Before the change that waits: it then goes into a page of the new
        // size.
        refitToEditor();
        return;
    }
    if (m_needsFinalUpdate) {
        m_needsFinalUpdate = false;
        updatePreview(std::exchange(m_pendingData, PreviewHtml()));
    } else if (m_reloadAfterCycle) {
        m_reloadAfterCycle = false;
        reloadPreview();
    }
}

void PreviewController::refreshSucceeded() {
    m_failedInARow = 0;
    m_retryFailed.stop();
}

void PreviewController::refreshFailed(bool layingOut) {
    m_pageBroken = true;
    // A page that did not answer while it laid itself out at the window's
    // new size is not broken: it is loaded afresh once the resize is over,
    // as the resize asks anyway, and no retry waits for it.
    if (layingOut)
        return;
    // Failures far apart are each a first one.
    if (m_lastFailure.isValid() && m_lastFailure.elapsed() > 2 * RetryLongestMilliseconds)
        m_failedInARow = 0;
    m_lastFailure.start();
    m_retryFailed.start(std::min(RetryLongestMilliseconds, RetryFailedMilliseconds << std::min(m_failedInARow, 16)));
    m_failedInARow++;
}

void PreviewController::renderProcessGone() {
    if (m_pageEnded)
        return;
    m_pageBlocks.reset();
    m_pageParts.reset();
    m_pageBroken = true;
    // What waited for the whole page gets no page.
    if (auto done = std::exchange(m_wholePageDone, {}))
        done(false);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_lastCrashReload >= 0 && now - m_lastCrashReload < CrashReloadInterval)
        return;
    m_lastCrashReload = now;
    reloadPreview();
}

void PreviewController::pageEnded(PageEnd why, qint64 memoryBound) {
    m_pageEnded = true;
    m_pageBlocks.reset();
    m_pageParts.reset();
    m_pageBroken = true;
    m_retryFailed.stop();
    m_failedInARow = 0;
    // What the ended page still answers is not taken for the note's.
    const quint64 generation = ++m_pageGeneration;
    if (auto done = std::exchange(m_wholePageDone, {}))
        done(false);
    const QLocale locale;
    const QString words =
        why == PageEnd::TooMuchMemory
            ? QStringLiteral("The preview of this document was ended: its page took more than %1 of memory. "
                             "View ▸ Refresh Preview shows it again.")
                  .arg(locale.formattedDataSize(memoryBound, 1, QLocale::DataSizeTraditionalFormat))
            : QStringLiteral("The preview of this document was ended: its page stopped answering. "
                             "View ▸ Refresh Preview shows it again.");
    HeadOptions head;
    if (!m_activeCSSPath.isEmpty())
        head.styleSheet = readStyleSheet(m_activeCSSPath);
    QPointer<PreviewController> self(this);
    m_page->load(notePage(words, head), previewURL(), [self, generation](bool) {
        if (!self || generation != self->m_pageGeneration)
            return;
        emit self->pageLoaded();
        self->updateContentBounds();
    });
}

// --- Zoom -------------------------------------------------------------------------

void PreviewController::scaleBy(float factor) {
    if (!(factor > 0) || !std::isfinite(factor))
        return;
    m_zoomFactor *= factor;
    m_page->setZoom(m_zoomFactor);
    // The page lays itself out again at the new scale.
    platform::Dispatch::after(std::chrono::milliseconds(50), this, [this] { updateContentBounds(); });
}

void PreviewController::setZoomFactorTo(float factor) {
    scaleBy(float(double(factor) / m_zoomFactor));
}

// --- Links ---------------------------------------------------------------------------

LinkDecision PreviewController::handleNavigation(const QUrl &url) const {
    return decideLink(previewURL(), url);
}

bool PreviewController::opensLinkAtOnce(const QString &href) const {
    return !m_newestTakesInFiles && !preference(Transclusion) && writesLink(href);
}

bool PreviewController::writesLink(const QString &href) const {
    // The newest first: the page shows it, but for the moment it takes to go
    // in.
    if (platform::htmlHasLink(m_baseSourceHTML, href))
        return true;
    if (m_needsFinalUpdate && platform::htmlHasLink(m_pendingData.html, href))
        return true;
    if (m_pageBlocks && platform::htmlHasLink(m_pageBlocks->text(), href))
        return true;
    return m_pageParts && platform::htmlHasLink(m_pageParts->blocks().text(), href);
}

// --- Geometry ---------------------------------------------------------------------------

double PreviewController::contentPercentToTotalPercent(double p) const {
    return m_geometry ? m_geometry->contentPercentToTotalPercent(p) : std::nan("");
}

void PreviewController::updateContentBounds() {
    const quint64 request = ++m_geometryRequest;
    QPointer<PreviewController> self(this);
    m_page->run(geometryScript(), PreviewPageDriver::World::Application,
                [self, request](bool finished, const QVariant &result) {
                    if (!self || request != self->m_geometryRequest || !finished)
                        return;
                    self->m_geometry = parseGeometry(result.toString());
                    if (self->m_geometry && self->m_pageParts)
                        self->expandEmptyParts(*self->m_geometry);
                    if (self->m_geometry)
                        emit self->geometryChanged();
                });
}

std::shared_ptr<const PreviewController::Prepared> PreviewController::prepare(const Input &given) {
    // Long runs of text get places where the page may lay them out in
    // pieces; everything the page is sent is cut from that HTML.
    Input input = given;
    if (given.blockStarts) {
        std::vector<qsizetype> starts = *given.blockStarts;
        input.html = withBreaksInLongText(given.html, &starts);
        input.blockStarts = std::make_shared<const std::vector<qsizetype>>(std::move(starts));
    } else {
        input.html = withBreaksInLongText(given.html);
    }
    auto prepared = std::make_shared<Prepared>();
    HeadOptions head = input.head;
    if (!input.cssPath.isEmpty())
        head.styleSheet = readStyleSheet(input.cssPath);
    prepared->typesets = head.mathJax || head.syntaxHighlighting;
    prepared->pageTypesets = input.pageTypesets;
    if (prepareParts(input, headContent(head), *prepared))
        return prepared;
    qsizetype contentStart = 0;
    prepared->page = applyHead(input.html, headContent(head), &contentStart);
    const std::optional<TextRange> body = bodyRange(prepared->page, contentStart);
    if (!body) {
        prepared->pageToLoad = prepared->page;
        return prepared;
    }
    prepared->body = *body;
    auto blocks = std::make_shared<BodyBlocks>(prepared->page.mid(body->start, body->length));
    if (input.forReplacement && !input.previous && body->length > kBodyScriptLimit) {
        // The page's blocks are not known and the body is too long to go in
        // by script: the page is loaded afresh, and mapped once loaded.
        prepared->pageToLoad = markedPage(prepared->page, *body, *blocks);
    } else if (input.forReplacement) {
        if (input.previous) {
            // Runs of changed blocks far apart (the caret moved a long way
            // before the edit) go in one by one: the blocks between them stay.
            const std::vector<BlockHunk> hunks = blockHunks(*input.previous, *blocks);
            if (hunks.size() > 1)
                prepared->script = patchHunksScript(*input.previous, *blocks, hunks, input.pageTypesets, input.then);
            else
                prepared->script = patchBlocksScript(*input.previous, *blocks, compareBlocks(*input.previous, *blocks),
                                                     input.pageTypesets, input.then);
            prepared->patch = true;
        } else {
            prepared->script = replaceBodyScript(*blocks, input.pageTypesets, input.then);
        }
    } else {
        prepared->pageToLoad = markedPage(prepared->page, *body, *blocks);
    }
    prepared->blocks = std::move(blocks);
    return prepared;
}
