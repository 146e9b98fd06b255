// Block grammar: each terminal is one line token, whose code is its line
// type. The rules stand in rule-number order (the building rules first, the
// pass-through rules last), so lemon's numbering follows the text.
// The reduce actions only glue chains together; the real work lives in
// block_parser.cpp.

%name tzr_block_parser
%token_prefix TZR_LINE_
%extra_argument { tzr_engine *engine }
%token_type { token * }
%default_type { token * }
%stack_size 100

%token_destructor { token_free($$); (void)engine; }
%default_destructor { token_tree_free($$); (void)engine; }

%include {
#include <cassert>
#include <cstdio>

#include "library/block_parser.h"
#include "library/diagnostics.h"
#include "library/engine.h"
#include "library/pairing.h"
#include "library/token.h"
}

%parse_failure {
    tzr_log("Parser failed to successfully parse.\n");
}

%syntax_error {
    // The offending line is released by its destructor and parsing goes on.
    (void)yymajor;
    (void)yyminor;
}

%stack_overflow {
    // Every repetition of the grammar is left-recursive, so the stack never
    // comes near its bound; the popped values were released by lemon.
}

// The terminals are the line types in the order of token_types.h (1 to 39),
// so a line token is fed with its type as the code; the checks at the end of
// this file hold the two lists together. UNUSED (40) is never fed.
%token HR SETEXT_1 SETEXT_2 META_START FALLBACK_PLAIN PLAIN INDENTED_TAB
       INDENTED_SPACE TABLE TABLE_SEPARATOR FALLBACK_BLOCK HTML ATX_1 ATX_2
       ATX_3 ATX_4 ATX_5 ATX_6 BLOCKQUOTE LIST_BULLETED LIST_ENUMERATED
       DEF_ABBREVIATION DEF_CITATION DEF_FOOTNOTE DEF_GLOSSARY DEF_LINK TOC
       DEFINITION META FALLBACK_FENCE FENCE_3 FENCE_4 FENCE_5 FENCE_START_3
       FENCE_START_4 FENCE_START_5 HTML_COMMENT_STOP EMPTY
       HTML_COMMENT_START UNUSED.

%fallback HR SETEXT_1 SETEXT_2 META_START.
%fallback FALLBACK_PLAIN PLAIN INDENTED_TAB INDENTED_SPACE TABLE TABLE_SEPARATOR.
%fallback FALLBACK_BLOCK HTML ATX_1 ATX_2 ATX_3 ATX_4 ATX_5 ATX_6 BLOCKQUOTE
          LIST_BULLETED LIST_ENUMERATED DEF_ABBREVIATION DEF_CITATION
          DEF_FOOTNOTE DEF_GLOSSARY DEF_LINK TOC DEFINITION META.
%fallback FALLBACK_FENCE FENCE_3 FENCE_4 FENCE_5 FENCE_START_3 FENCE_START_4
          FENCE_START_5.

%start_symbol document

/* 0 */ document ::= block_seq(A). { engine->root = A; }

/* 1 */ block_seq(A) ::= block_seq(B) block(C). {
    tzr_flatten_block(engine, C);
    tzr_pair_finished_block(engine, C);
    A = tzr_chain(B, C);
}
/* 2 */ block_seq(A) ::= block(B). {
    engine->root = B;
    tzr_flatten_block(engine, B);
    tzr_pair_finished_block(engine, B);
    A = B;
}

/* 3 */ block(A) ::= ATX_1(B). { A = tzr_wrap_header(engine, B, BLOCK_H1); }
/* 4 */ block(A) ::= ATX_2(B). { A = tzr_wrap_header(engine, B, BLOCK_H2); }
/* 5 */ block(A) ::= ATX_3(B). { A = tzr_wrap_header(engine, B, BLOCK_H3); }
/* 6 */ block(A) ::= ATX_4(B). { A = tzr_wrap_header(engine, B, BLOCK_H4); }
/* 7 */ block(A) ::= ATX_5(B). { A = tzr_wrap_header(engine, B, BLOCK_H5); }
/* 8 */ block(A) ::= ATX_6(B). { A = tzr_wrap_header(engine, B, BLOCK_H6); }
/* 9 */ block(A) ::= HR(B). { A = tzr_wrap(B, BLOCK_HR); }
/* 10 */ block(A) ::= META_START(B). { A = tzr_wrap(B, BLOCK_HR); }
/* 11 */ block(A) ::= TOC(B). { A = tzr_wrap(B, BLOCK_TOC); }
/* 12 */ block(A) ::= quote_lines(B). {
    A = tzr_wrap(B, BLOCK_BLOCKQUOTE);
    tzr_parse_blockquote(engine, A);
}
/* 13 */ block(A) ::= abbr_def_lines(B). { A = tzr_wrap_definition(engine, B, BLOCK_DEF_ABBREVIATION); }
/* 14 */ block(A) ::= cite_def_lines(B). { A = tzr_wrap_definition(engine, B, BLOCK_DEF_CITATION); }
/* 15 */ block(A) ::= footnote_def_lines(B). {
    A = tzr_wrap_definition(engine, B, BLOCK_DEF_FOOTNOTE);
    tzr_parse_definition_block(engine, A);
}
/* 16 */ block(A) ::= gloss_def_lines(B). {
    A = tzr_wrap_definition(engine, B, BLOCK_DEF_GLOSSARY);
    tzr_parse_definition_block(engine, A);
}
/* 17 */ block(A) ::= link_def_lines(B). { A = tzr_wrap_definition(engine, B, BLOCK_DEF_LINK); }
/* 18 */ block(A) ::= def_list_lines(B). { A = tzr_wrap(B, BLOCK_DEFLIST); }
/* 19 */ block(A) ::= blank_lines(B). { A = tzr_wrap(B, BLOCK_EMPTY); }
/* 20 */ block(A) ::= fenced_lines(B). {
    tzr_mark_fence_line(B);
    A = tzr_wrap(B, BLOCK_CODE_FENCED);
}
/* 21 */ block(A) ::= html_lines(B). { A = tzr_wrap(B, BLOCK_HTML); }
/* 22 */ block(A) ::= comment_lines(B). { A = tzr_wrap(B, BLOCK_HTML); }
/* 23 */ block(A) ::= icode_lines(B). { A = tzr_wrap(B, BLOCK_CODE_INDENTED); }
/* 24 */ block(A) ::= bullet_items(B). {
    A = tzr_wrap(B, BLOCK_LIST_BULLETED);
    tzr_list_set_looseness(A);
}
/* 25 */ block(A) ::= ordered_items(B). {
    A = tzr_wrap(B, BLOCK_LIST_ENUMERATED);
    tzr_list_set_looseness(A);
}
/* 26 */ block(A) ::= meta_lines(B). { A = tzr_wrap(B, BLOCK_META); }
/* 27 */ block(A) ::= meta_lines(B) SETEXT_2(C). {
    A = tzr_wrap(B, BLOCK_META);
    token_append_child(A, C);
}
/* 28 */ block(A) ::= para_lines(B). {
    A = tzr_wrap(B, BLOCK_PARA);
    tzr_para_to_html_block(engine, A);
}
/* 29 */ block(A) ::= setext1_lines(B). { A = tzr_wrap_header(engine, B, BLOCK_SETEXT_1); }
/* 30 */ block(A) ::= setext2_lines(B). { A = tzr_wrap_header(engine, B, BLOCK_SETEXT_2); }
/* 31 */ block(A) ::= table_lines(B). {
    A = tzr_wrap(B, BLOCK_TABLE);
    stack_push(engine->table_list, A);
}

/* 32 */ cont_lines(A) ::= cont_lines(B) cont_line(C). { A = tzr_chain_lines(B, C); }
/* 33 */ gap_runs(A) ::= gap_runs(B) gap_run(C). { A = tzr_chain(B, C); }
/* 34 */ gap_run(A) ::= blank_lines(B) indented_line(C) cont_lines(D). {
    C->type = LINE_FALLBACK_PLAIN;
    A = tzr_chain(tzr_chain(B, C), D);
}
/* 35 */ gap_run(A) ::= blank_lines(B) indented_line(C). {
    C->type = LINE_FALLBACK_PLAIN;
    A = tzr_chain(B, C);
}
/* 36 */ item_tail(A) ::= cont_lines(B) gap_runs(C). { A = tzr_chain(B, C); }
/* 37 */ note_tail_lines(A) ::= cont_lines(B) gap_runs(C). { A = tzr_chain(B, C); }
/* 38 */ quote_lines(A) ::= quote_lines(B) quote_cont(C). { A = tzr_chain_lines(B, C); }
/* 39 */ cite_def_lines(A) ::= DEF_CITATION(B) note_tail(C). { A = tzr_chain(B, C); }
/* 40 */ footnote_def_lines(A) ::= DEF_FOOTNOTE(B) note_tail(C). { A = tzr_chain(B, C); }
/* 41 */ gloss_def_lines(A) ::= DEF_GLOSSARY(B) note_tail(C). { A = tzr_chain(B, C); }
/* 42 */ link_def_lines(A) ::= DEF_LINK(B) cont_lines(C). { A = tzr_chain(B, C); }
/* 43 */ abbr_def_lines(A) ::= DEF_ABBREVIATION(B) cont_lines(C). { A = tzr_chain(B, C); }
/* 44 */ def_list_lines(A) ::= para_lines(B) definitions(C). {
    B->type = BLOCK_TERM;
    A = tzr_chain(B, C);
}
/* 45 */ definitions(A) ::= definitions(B) definition(C). { A = tzr_chain(B, C); }
/* 46 */ definition(A) ::= DEFINITION(B) note_tail(C). {
    A = tzr_wrap(B, BLOCK_DEFINITION);
    token_append_child(A, C);
    tzr_parse_definition_block(engine, A);
}
/* 47 */ definition(A) ::= DEFINITION(B). { A = tzr_wrap(B, BLOCK_DEFINITION); }
/* 48 */ blank_lines(A) ::= blank_lines(B) EMPTY(C). { A = tzr_chain(B, C); }
/* 49 */ fenced_lines(A) ::= fence3_lines(B) FENCE_3(C). { A = tzr_chain_fence_close(B, C); }
/* 50 */ fenced_lines(A) ::= fence3_lines(B) FENCE_4(C). { A = tzr_chain_fence_close(B, C); }
/* 51 */ fenced_lines(A) ::= fence3_lines(B) FENCE_5(C). { A = tzr_chain_fence_close(B, C); }
/* 52 */ fence3_lines(A) ::= fence3_lines(B) code_line(C). { A = tzr_chain_lines(B, C); }
/* 53 */ fenced_lines(A) ::= fence4_lines(B) FENCE_4(C). { A = tzr_chain_fence_close(B, C); }
/* 54 */ fenced_lines(A) ::= fence4_lines(B) FENCE_5(C). { A = tzr_chain_fence_close(B, C); }
/* 55 */ fence4_lines(A) ::= fence4_lines(B) code_line(C). { A = tzr_chain_lines(B, C); }
/* 56 */ fence4_lines(A) ::= fence4_lines(B) FENCE_3(C). { A = tzr_chain(B, C); }
/* 57 */ fence4_lines(A) ::= fence4_lines(B) FENCE_START_3(C). { A = tzr_chain(B, C); }
/* 58 */ fenced_lines(A) ::= fence5_lines(B) FENCE_5(C). { A = tzr_chain_fence_close(B, C); }
/* 59 */ fence5_lines(A) ::= fence5_lines(B) code_line(C). { A = tzr_chain_lines(B, C); }
/* 60 */ fence5_lines(A) ::= fence5_lines(B) FENCE_3(C). { A = tzr_chain(B, C); }
/* 61 */ fence5_lines(A) ::= fence5_lines(B) FENCE_START_3(C). { A = tzr_chain(B, C); }
/* 62 */ fence5_lines(A) ::= fence5_lines(B) FENCE_4(C). { A = tzr_chain(B, C); }
/* 63 */ fence5_lines(A) ::= fence5_lines(B) FENCE_START_4(C). { A = tzr_chain(B, C); }
/* 64 */ html_lines(A) ::= html_lines(B) html_line(C). { A = tzr_chain_lines(B, C); }
/* 65 */ comment_lines(A) ::= comment_open(B) HTML_COMMENT_STOP(C). { A = tzr_chain(B, C); }
/* 66 */ comment_open(A) ::= comment_open(B) comment_line(C). { A = tzr_chain_lines(B, C); }
/* 67 */ icode_lines(A) ::= icode_lines(B) indented_line(C). { A = tzr_chain(B, C); }
/* 68 */ icode_lines(A) ::= icode_lines(B) EMPTY(C). { A = tzr_chain(B, C); }
/* 69 */ bullet_items(A) ::= bullet_items(B) bullet_item(C). { A = tzr_chain(B, C); }
/* 70 */ bullet_item(A) ::= LIST_BULLETED(B) item_tail(C). { A = tzr_list_item(engine, B, C, BLOCK_LIST_ITEM); }
/* 71 */ bullet_item(A) ::= LIST_BULLETED(B) cont_lines(C). { A = tzr_list_item(engine, B, C, BLOCK_LIST_ITEM_TEXT); }
/* 72 */ bullet_item(A) ::= LIST_BULLETED(B) gap_runs(C). { A = tzr_list_item(engine, B, C, BLOCK_LIST_ITEM); }
/* 73 */ bullet_item(A) ::= LIST_BULLETED(B). { A = tzr_wrap(B, BLOCK_LIST_ITEM_TEXT); }
/* 74 */ ordered_items(A) ::= ordered_items(B) ordered_item(C). { A = tzr_chain(B, C); }
/* 75 */ ordered_item(A) ::= LIST_ENUMERATED(B) item_tail(C). { A = tzr_list_item(engine, B, C, BLOCK_LIST_ITEM); }
/* 76 */ ordered_item(A) ::= LIST_ENUMERATED(B) cont_lines(C). { A = tzr_list_item(engine, B, C, BLOCK_LIST_ITEM_TEXT); }
/* 77 */ ordered_item(A) ::= LIST_ENUMERATED(B) gap_runs(C). { A = tzr_list_item(engine, B, C, BLOCK_LIST_ITEM); }
/* 78 */ ordered_item(A) ::= LIST_ENUMERATED(B). { A = tzr_wrap(B, BLOCK_LIST_ITEM_TEXT); }
/* 79 */ meta_lines(A) ::= meta_lines(B) meta_cont(C). { A = tzr_chain_lines(B, C); }
/* 80 */ meta_lines(A) ::= META_START(B) META(C). { A = tzr_chain(B, C); }
/* 81 */ para_lines(A) ::= PLAIN(B) cont_lines(C). { A = tzr_chain(B, C); }
/* 82 */ setext1_lines(A) ::= para_lines(B) SETEXT_1(C). { A = tzr_chain(B, C); }
/* 83 */ setext2_lines(A) ::= para_lines(B) SETEXT_2(C). { A = tzr_chain(B, C); }
/* 84 */ table_lines(A) ::= table_head_lines(B) table_sections(C). { A = tzr_chain(B, C); }
/* 85 */ table_head_lines(A) ::= table_row_lines(B) TABLE_SEPARATOR(C). {
    A = tzr_wrap(B, BLOCK_TABLE_HEADER);
    token_append_child(A, C);
}
/* 86 */ table_head_lines(A) ::= TABLE_SEPARATOR(B). { A = tzr_wrap(B, BLOCK_TABLE_HEADER); }
/* 87 */ table_row_lines(A) ::= table_row_lines(B) TABLE(C). { A = tzr_chain(B, C); }
/* 88 */ table_sections(A) ::= table_sections(B) table_section(C). { A = tzr_chain(B, C); }
/* 89 */ table_section(A) ::= table_section_lines(B) EMPTY(C). {
    A = tzr_wrap(B, BLOCK_TABLE_SECTION);
    token_append_child(A, C);
}
/* 90 */ table_section(A) ::= table_section_lines(B). { A = tzr_wrap(B, BLOCK_TABLE_SECTION); }
/* 91 */ table_section_lines(A) ::= table_section_lines(B) table_line_group(C). { A = tzr_chain(B, C); }

// Rules that pass their only symbol's value on. Each names its value, so
// that lemon never runs a destructor on a value that is handed upwards.
/* 92 */ para_lines(A) ::= table_line_group(B). { A = B; }
/* 93 */ cont_lines(A) ::= cont_line(B). { A = B; }
/* 94 */ cont_line(A) ::= FALLBACK_PLAIN(B). { A = B; }
/* 95 */ cont_line(A) ::= HTML_COMMENT_STOP(B). { A = B; }
/* 96 */ gap_runs(A) ::= gap_run(B). { A = B; }
/* 97 */ gap_run(A) ::= blank_lines(B). { A = B; }
/* 98 */ indented_line(A) ::= INDENTED_TAB(B). { A = B; }
/* 99 */ indented_line(A) ::= INDENTED_SPACE(B). { A = B; }
/* 100 */ note_tail_lines(A) ::= cont_lines(B). { A = B; }
/* 101 */ note_tail(A) ::= note_tail_lines(B). { A = B; }
/* 102 */ note_tail(A) ::= gap_runs(B). { A = B; }
/* 103 */ quote_lines(A) ::= BLOCKQUOTE(B). { A = B; }
/* 104 */ quote_cont(A) ::= BLOCKQUOTE(B). { A = B; }
/* 105 */ quote_cont(A) ::= FALLBACK_PLAIN(B). { A = B; }
/* 106 */ cite_def_lines(A) ::= DEF_CITATION(B). { A = B; }
/* 107 */ footnote_def_lines(A) ::= DEF_FOOTNOTE(B). { A = B; }
/* 108 */ gloss_def_lines(A) ::= DEF_GLOSSARY(B). { A = B; }
/* 109 */ link_def_lines(A) ::= DEF_LINK(B). { A = B; }
/* 110 */ abbr_def_lines(A) ::= DEF_ABBREVIATION(B). { A = B; }
/* 111 */ definitions(A) ::= definition(B). { A = B; }
/* 112 */ blank_lines(A) ::= EMPTY(B). { A = B; }
/* 113 */ fenced_lines(A) ::= fence3_lines(B). { A = B; }
/* 114 */ fence3_lines(A) ::= FENCE_3(B). { A = B; }
/* 115 */ fence3_lines(A) ::= FENCE_START_3(B). { A = B; }
/* 116 */ fenced_lines(A) ::= fence4_lines(B). { A = B; }
/* 117 */ fence4_lines(A) ::= FENCE_4(B). { A = B; }
/* 118 */ fence4_lines(A) ::= FENCE_START_4(B). { A = B; }
/* 119 */ fenced_lines(A) ::= fence5_lines(B). { A = B; }
/* 120 */ fence5_lines(A) ::= FENCE_5(B). { A = B; }
/* 121 */ fence5_lines(A) ::= FENCE_START_5(B). { A = B; }
/* 122 */ code_line(A) ::= FALLBACK_PLAIN(B). { A = B; }
/* 123 */ code_line(A) ::= EMPTY(B). { A = B; }
/* 124 */ code_line(A) ::= FALLBACK_BLOCK(B). { A = B; }
/* 125 */ code_line(A) ::= HR(B). { A = B; }
/* 126 */ code_line(A) ::= HTML(B). { A = B; }
/* 127 */ code_line(A) ::= HTML_COMMENT_START(B). { A = B; }
/* 128 */ code_line(A) ::= HTML_COMMENT_STOP(B). { A = B; }
/* 129 */ html_lines(A) ::= HTML(B). { A = B; }
/* 130 */ html_line(A) ::= FALLBACK_PLAIN(B). { A = B; }
/* 131 */ html_line(A) ::= FALLBACK_BLOCK(B). { A = B; }
/* 132 */ html_line(A) ::= HR(B). { A = B; }
/* 133 */ html_line(A) ::= HTML(B). { A = B; }
/* 134 */ comment_lines(A) ::= comment_open(B). { A = B; }
/* 135 */ comment_open(A) ::= HTML_COMMENT_START(B). { A = B; }
/* 136 */ comment_line(A) ::= FALLBACK_PLAIN(B). { A = B; }
/* 137 */ comment_line(A) ::= EMPTY(B). { A = B; }
/* 138 */ comment_line(A) ::= FALLBACK_BLOCK(B). { A = B; }
/* 139 */ comment_line(A) ::= HR(B). { A = B; }
/* 140 */ comment_line(A) ::= HTML(B). { A = B; }
/* 141 */ icode_lines(A) ::= indented_line(B). { A = B; }
/* 142 */ bullet_items(A) ::= bullet_item(B). { A = B; }
/* 143 */ ordered_items(A) ::= ordered_item(B). { A = B; }
/* 144 */ meta_lines(A) ::= META(B). { A = B; }
/* 145 */ meta_cont(A) ::= META(B). { A = B; }
/* 146 */ meta_cont(A) ::= FALLBACK_PLAIN(B). { A = B; }
/* 147 */ para_lines(A) ::= PLAIN(B). { A = B; }
/* 148 */ para_lines(A) ::= HTML_COMMENT_STOP(B). { A = B; }
/* 149 */ table_lines(A) ::= table_head_lines(B). { A = B; }
/* 150 */ table_row_lines(A) ::= TABLE(B). { A = B; }
/* 151 */ table_sections(A) ::= table_section(B). { A = B; }
/* 152 */ table_section_lines(A) ::= table_line_group(B). { A = B; }
/* 153 */ table_line_group(A) ::= table_row_lines(B). { A = B; }
/* 154 */ table_line_group(A) ::= TABLE_SEPARATOR(B). { A = B; }
/* 155 */ para_lines(A) ::= definitions(B). { A = B; }

%code {
// A line's type is its terminal code.
static_assert(TZR_LINE_HR == LINE_HR);
static_assert(TZR_LINE_SETEXT_1 == LINE_SETEXT_1);
static_assert(TZR_LINE_SETEXT_2 == LINE_SETEXT_2);
static_assert(TZR_LINE_META_START == LINE_META_START);
static_assert(TZR_LINE_FALLBACK_PLAIN == LINE_FALLBACK_PLAIN);
static_assert(TZR_LINE_PLAIN == LINE_PLAIN);
static_assert(TZR_LINE_INDENTED_TAB == LINE_INDENTED_TAB);
static_assert(TZR_LINE_INDENTED_SPACE == LINE_INDENTED_SPACE);
static_assert(TZR_LINE_TABLE == LINE_TABLE);
static_assert(TZR_LINE_TABLE_SEPARATOR == LINE_TABLE_SEPARATOR);
static_assert(TZR_LINE_FALLBACK_BLOCK == LINE_FALLBACK_BLOCK);
static_assert(TZR_LINE_HTML == LINE_HTML);
static_assert(TZR_LINE_ATX_1 == LINE_ATX_1);
static_assert(TZR_LINE_ATX_2 == LINE_ATX_2);
static_assert(TZR_LINE_ATX_3 == LINE_ATX_3);
static_assert(TZR_LINE_ATX_4 == LINE_ATX_4);
static_assert(TZR_LINE_ATX_5 == LINE_ATX_5);
static_assert(TZR_LINE_ATX_6 == LINE_ATX_6);
static_assert(TZR_LINE_BLOCKQUOTE == LINE_BLOCKQUOTE);
static_assert(TZR_LINE_LIST_BULLETED == LINE_LIST_BULLETED);
static_assert(TZR_LINE_LIST_ENUMERATED == LINE_LIST_ENUMERATED);
static_assert(TZR_LINE_DEF_ABBREVIATION == LINE_DEF_ABBREVIATION);
static_assert(TZR_LINE_DEF_CITATION == LINE_DEF_CITATION);
static_assert(TZR_LINE_DEF_FOOTNOTE == LINE_DEF_FOOTNOTE);
static_assert(TZR_LINE_DEF_GLOSSARY == LINE_DEF_GLOSSARY);
static_assert(TZR_LINE_DEF_LINK == LINE_DEF_LINK);
static_assert(TZR_LINE_TOC == LINE_TOC);
static_assert(TZR_LINE_DEFINITION == LINE_DEFINITION);
static_assert(TZR_LINE_META == LINE_META);
static_assert(TZR_LINE_FALLBACK_FENCE == LINE_FALLBACK_FENCE);
static_assert(TZR_LINE_FENCE_3 == LINE_FENCE_3);
static_assert(TZR_LINE_FENCE_4 == LINE_FENCE_4);
static_assert(TZR_LINE_FENCE_5 == LINE_FENCE_5);
static_assert(TZR_LINE_FENCE_START_3 == LINE_FENCE_START_3);
static_assert(TZR_LINE_FENCE_START_4 == LINE_FENCE_START_4);
static_assert(TZR_LINE_FENCE_START_5 == LINE_FENCE_START_5);
static_assert(TZR_LINE_HTML_COMMENT_STOP == LINE_HTML_COMMENT_STOP);
static_assert(TZR_LINE_EMPTY == LINE_EMPTY);
static_assert(TZR_LINE_HTML_COMMENT_START == LINE_HTML_COMMENT_START);
static_assert(TZR_LINE_UNUSED == kTzrUnusedLineCode);
}
