// Pointing out a range of the editor: it is scrolled into view (centred when
// any part of it lies outside the visible area) and marked for a moment
// with a yellow highlight that goes by itself.
#pragma once

#include "editor/storage/smart_text_storage.h"

class KVXTextView;

// How long the mark stays.
constexpr int kFindIndicatorMilliseconds = 1000;

void scrollRangeToVisible(KVXTextView *editor, CharRange range);
void showFindIndicatorForRange(KVXTextView *editor, CharRange range);
