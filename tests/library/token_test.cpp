#include <gtest/gtest.h>

#include <string>

#include "library/token.h"
#include "tree_check.h"

namespace {

// A chain of `count` one-byte tokens of the given type, starting at `start`.
token *make_chain(int count, size_t start = 0, unsigned short type = TEXT) {
    token *head = token_new(type, start, 1);
    for (int i = 1; i < count; i++)
        token_chain_append(head, token_new(type, start + i, 1));
    return head;
}

TEST(Token, AppendingChildrenRecomputesTheParentLength) {
    token *parent = token_new(BLOCK_PARA, 0, 0);
    token_append_child(parent, make_chain(2, 5));
    token_append_child(parent, make_chain(3, 7));
    EXPECT_EQ(parent->start, 0u);
    EXPECT_EQ(parent->len, 10u);
    EXPECT_EQ(chain_summary(parent->child), "217:5:1 217:6:1 217:7:1 217:8:1 217:9:1");
    EXPECT_TRUE(chain_is_consistent(parent));
    token_free(parent);
}

TEST(Token, NewParentMeasuresTheWholeChain) {
    token *parent = token_new_parent(make_chain(4, 2), BLOCK_PARA);
    EXPECT_EQ(parent->start, 2u);
    EXPECT_EQ(parent->len, 4u);
    EXPECT_TRUE(chain_is_consistent(parent));
    token_free(parent);

    token *empty = token_new_parent(nullptr, BLOCK_EMPTY);
    EXPECT_EQ(empty->child, nullptr);
    EXPECT_EQ(empty->len, 0u);
    token_free(empty);
}

TEST(Token, WrappingASingleTokenMakesAContainerOfItsCopy) {
    token *parent = token_new(BLOCK_PARA, 0, 0);
    token_append_child(parent, make_chain(3));
    token *middle = parent->child->next;
    token *wrapped = token_wrap_range(middle, middle, PAIR_EMPH);
    EXPECT_EQ(wrapped, middle);
    EXPECT_EQ(middle->type, PAIR_EMPH);
    ASSERT_NE(middle->child, nullptr);
    EXPECT_EQ(middle->child->type, TEXT);
    EXPECT_EQ(middle->child->start, 1u);
    EXPECT_EQ(middle->len, 1u);
    EXPECT_EQ(middle->can_open, 0);
    EXPECT_TRUE(chain_is_consistent(parent));
    token_free(parent);
}

TEST(Token, WrappingTheLastRunUpdatesTheHeadTail) {
    token *parent = token_new(BLOCK_PARA, 0, 0);
    token_append_child(parent, make_chain(5));
    token *second = parent->child->next;
    token_wrap_range(second, parent->child->tail, PAIR_BRACKET);
    EXPECT_EQ(parent->child->tail, second);
    EXPECT_EQ(second->len, 4u);
    EXPECT_EQ(chain_summary(second->child), "217:1:1 217:2:1 217:3:1 217:4:1");
    EXPECT_TRUE(chain_is_consistent(parent));
    token_free(parent);
}

TEST(Token, WrappingMovesTheOpenersMateToTheCopy) {
    token *parent = token_new(BLOCK_PARA, 0, 0);
    token_append_child(parent, make_chain(3));
    token *opener = parent->child;
    token *closer = parent->child->tail;
    opener->mate = closer;
    closer->mate = opener;
    token_wrap_range(opener, closer, PAIR_BRACKET);
    EXPECT_EQ(opener->mate, nullptr);
    EXPECT_EQ(closer->mate, opener->child);
    EXPECT_EQ(opener->child->mate, closer);
    EXPECT_TRUE(chain_is_consistent(parent));
    token_free(parent);
}

TEST(Token, SplitGivesASubrangeItsOwnType) {
    token *parent = token_new(BLOCK_PARA, 0, 0);
    token_append_child(parent, token_new(TEXT, 0, 10));
    token_split(parent->child, 0, 3, STAR);  // at the start
    EXPECT_EQ(chain_summary(parent->child), "129:0:3 217:3:7");
    token_split(parent->child->next, 5, 2, UL);  // in the middle
    EXPECT_EQ(chain_summary(parent->child), "129:0:3 217:3:2 130:5:2 217:7:3");
    token_split(parent->child->tail->prev, 5, 5, STAR);  // out of range: nothing
    EXPECT_EQ(chain_summary(parent->child), "129:0:3 217:3:2 130:5:2 217:7:3");
    token_split(parent->child->next->next->next, 8, 2, HASH);  // at the end
    EXPECT_EQ(chain_summary(parent->child), "129:0:3 217:3:2 130:5:2 217:7:1 209:8:2");
    parent->child->tail = parent->child->next->next->next->next;  // callers fix the tail
    EXPECT_TRUE(chain_is_consistent(parent));
    token_free(parent);
}

TEST(Token, SplitOnCharDropsTheSeparator) {
    const char *source = "a b c";
    token *t = token_new(TEXT, 0, 5);
    token_split_on_char(t, source, ' ');
    EXPECT_EQ(chain_summary(t), "217:0:1 217:2:1 217:4:1");
    token_tree_free(t);

    const char *trailing = "ab ";
    token *u = token_new(TEXT, 0, 3);
    token_split_on_char(u, trailing, ' ');
    EXPECT_EQ(chain_summary(u), "217:0:3");
    token_tree_free(u);
}

TEST(Token, RemovingChildrenKeepsTheChainWhole) {
    token *parent = token_new(BLOCK_PARA, 0, 0);
    token_append_child(parent, make_chain(4));
    token_remove_first_child(parent);
    EXPECT_EQ(chain_summary(parent->child), "217:1:1 217:2:1 217:3:1");
    EXPECT_TRUE(chain_is_consistent(parent, false));
    token_remove_last_child(parent);
    EXPECT_EQ(chain_summary(parent->child), "217:1:1 217:2:1");
    EXPECT_TRUE(chain_is_consistent(parent, false));
    token_chain_remove_last(parent->child);
    EXPECT_EQ(chain_summary(parent->child), "217:1:1");
    token_chain_remove_last(parent->child);  // a lone head stays
    EXPECT_EQ(chain_summary(parent->child), "217:1:1");
    token_remove_last_child(parent);
    EXPECT_EQ(parent->child, nullptr);
    token_free(parent);
}

TEST(Token, RemoveRangeJoinsTheNeighbours) {
    token *head = make_chain(5);
    token_remove_range(head->next, head->next->next->next);
    EXPECT_EQ(chain_summary(head), "217:0:1 217:4:1");
    EXPECT_EQ(head->next->prev, head);
    head->tail = head->next;
    EXPECT_TRUE(chain_is_consistent(head));
    token_tree_free(head);
}

TEST(Token, UnlinkJoinsNeighboursAndIsolates) {
    token *head = make_chain(3);
    token *middle = head->next;
    token_unlink(middle);
    EXPECT_EQ(middle->tail, middle);
    EXPECT_EQ(middle->next, nullptr);
    EXPECT_EQ(chain_summary(head), "217:0:1 217:2:1");
    token_free(middle);
    token_tree_free(head);
}

TEST(Token, OffsetAndRangeSearches) {
    token *parent = token_new(BLOCK_PARA, 0, 0);
    token_append_child(parent, token_new(TEXT, 0, 3));
    token_append_child(parent, token_new(STAR, 3, 1));
    token_append_child(parent, token_new(TEXT, 4, 4));
    EXPECT_EQ(token_child_at_offset(parent, 3), parent->child->next);
    EXPECT_EQ(token_child_at_offset(parent, 7), parent->child->tail);
    EXPECT_EQ(token_child_at_offset(parent, 8), nullptr);  // parent's exact end

    EXPECT_EQ(token_first_child_in_range(parent, 2, 3), parent->child);
    EXPECT_EQ(token_last_child_in_range(parent, 2, 3), parent->child->tail);
    EXPECT_EQ(token_first_child_in_range(parent, 3, 1), parent->child->next);
    EXPECT_EQ(token_last_child_in_range(parent, 3, 1), parent->child->next);
    EXPECT_EQ(token_first_child_in_range(parent, 20, 1), nullptr);
    token_free(parent);
}

TEST(Token, TrimAndCursorOperations) {
    const char *source = " \t word \n";
    token *t = token_new(TEXT, 0, 9);
    token_trim_whitespace(t, source);
    EXPECT_EQ(t->start, 3u);
    EXPECT_EQ(t->len, 4u);
    token_free(t);

    token *head = token_new(STAR, 0, 1);
    token_chain_append(head, token_new(TEXT, 1, 1));
    token_chain_append(head, token_new(UL, 2, 1));
    token *cursor = head;
    EXPECT_EQ(token_chain_accept(&cursor, TEXT), nullptr);
    EXPECT_EQ(token_chain_accept(&cursor, STAR), head);
    EXPECT_EQ(token_chain_accept_multiple(&cursor, 2, UL, TEXT), head->next);
    token_skip_until_type(&cursor, UL);
    EXPECT_EQ(cursor, head->tail);
    cursor = head;
    token_skip_until_type_multiple(&cursor, 2, HASH, UL);
    EXPECT_EQ(cursor, head->tail);
    token_skip_until_type_multiple(&cursor, 0);
    EXPECT_EQ(cursor, nullptr);
    token_tree_free(head);
}

TEST(Token, DescribeWritesTheTreeToStandardError) {
    const char *source = "ab";
    token *root = token_new(DOC_ROOT, 0, 0);
    token_append_child(root, token_new(TEXT, 0, 2));
    testing::internal::CaptureStderr();
    token_tree_describe(root, source);
    token_chain_describe(nullptr, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "* (0) 0:2\t'ab'\n\t* (217) 0:2\t'ab'\n=====>\n<=====\n");
    token_free(root);
}

TEST(Token, FreeingHugeTreesDoesNotRecurse) {
    // A million siblings.
    token *head = token_new(TEXT, 0, 1);
    for (size_t i = 1; i < 1000000; i++)
        token_chain_append(head, token_new(TEXT, i, 1));
    token_tree_free(head);

    // A nesting of a hundred thousand children.
    token *root = token_new(BLOCK_BLOCKQUOTE, 0, 1);
    token *inner = root;
    for (int i = 0; i < 100000; i++) {
        token *child = token_new(BLOCK_BLOCKQUOTE, 0, 1);
        token_append_child(inner, child);
        inner = child;
    }
    token_free(root);
}

TEST(Token, NullArgumentsAreHarmless) {
    token_free(nullptr);
    token_tree_free(nullptr);
    token_append_child(nullptr, nullptr);
    token_chain_append(nullptr, nullptr);
    token_remove_first_child(nullptr);
    token_remove_last_child(nullptr);
    token_split(nullptr, 0, 0, TEXT);
    EXPECT_EQ(token_copy(nullptr), nullptr);
    EXPECT_EQ(token_wrap_range(nullptr, nullptr, TEXT), nullptr);
    EXPECT_EQ(token_child_at_offset(nullptr, 0), nullptr);
}

}  // namespace
