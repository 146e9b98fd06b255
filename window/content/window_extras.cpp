#include "window/content/window_extras.h"

namespace {
WindowExtras *sharedExtras = nullptr;
}

WindowExtras *WindowExtras::shared() { return sharedExtras; }
void WindowExtras::setShared(WindowExtras *extras) { sharedExtras = extras; }
