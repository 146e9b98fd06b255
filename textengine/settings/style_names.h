// The names of theme styles by token type, as the editor's text storage
// hands them to theme_parse and theme_load_file.
#pragma once

// 256 entries indexed by token type; an entry is a heap copy of the style's
// name, or NULL for a token type without one. Release with
// smart_text_style_names_free.
char **smart_text_style_names_new(void);
void smart_text_style_names_free(char **names);
