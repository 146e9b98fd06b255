// Small helpers shared by the LaTeX, Beamer and Memoir writers.
#pragma once

#include <cstdint>

#include "d_string.h"
#include "token.h"

namespace latex_detail {

constexpr uint64_t kCompatibility = 0x1;
constexpr uint64_t kComplete = 0x2;
constexpr uint64_t kSmart = 0x8;
constexpr uint64_t kNotes = 0x10;
constexpr uint64_t kNoLabels = 0x20;
constexpr uint64_t kCritic = 0x200;
constexpr uint64_t kAccept = 0x400;
constexpr uint64_t kReject = 0x800;

constexpr uint16_t kMaxDepth = 1000;

inline void print_raw(DString *out, const char *source, const token *t) {
    d_string_append_c_array(out, source + t->start, t->len);
}

}  // namespace latex_detail
