// Services of the lexer, the line typer, the HTML scanners and the metadata
// reader that the block parser and the engine call.
#pragma once

#include "line_types.h"
#include "metadata.h"
#include "scanners.h"
#include "tokenizer.h"
