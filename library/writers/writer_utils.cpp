#include "library/writers/writer_utils.h"

namespace writer_utils {

critic_step critic_step_for(const token *t, uint64_t flags) {
    bool on = flags & TZR_EXT_CRITIC;
    bool accept = flags & TZR_EXT_CRITIC_ACCEPT, reject = flags & TZR_EXT_CRITIC_REJECT;
    constexpr critic_step kNothing{false, critic_write::nothing};
    constexpr critic_step kChildren{false, critic_write::children};
    switch (t->type) {
    case PAIR_CRITIC_ADD:
        if (reject)
            return kNothing;
        if (!on)
            return kChildren;
        return {true, accept ? critic_write::children : critic_write::wrapped, kCriticAdded};
    case PAIR_CRITIC_DEL:
        if (accept)
            return kNothing;
        if (!on)
            return kChildren;
        return {true, reject ? critic_write::children : critic_write::wrapped, kCriticDeleted};
    case PAIR_CRITIC_COM:
        if (accept || reject)
            return kNothing;
        if (!on)
            return kChildren;
        return {true, critic_write::wrapped, kCriticComment};
    case PAIR_CRITIC_SUB_ADD:
    case PAIR_CRITIC_SUB_DEL: {
        // Each half of a substitution counts only beside its other half.
        bool added = t->type == PAIR_CRITIC_SUB_ADD;
        const token *partner = added ? t->prev : t->next;
        uint16_t other_half = added ? PAIR_CRITIC_SUB_DEL : PAIR_CRITIC_SUB_ADD;
        bool paired = partner && partner->type == other_half;
        if (!on || !paired)
            return kChildren;
        if (added ? reject : accept)
            return {true, critic_write::nothing};
        if (accept || reject)
            return {true, critic_write::children};
        return {true, critic_write::wrapped, added ? kCriticAdded : kCriticDeleted};
    }
    default:  // highlight
        if (accept || reject)
            return {true, critic_write::children};
        if (!on)
            return kChildren;
        return {true, critic_write::wrapped, kCriticHighlight};
    }
}

}  // namespace writer_utils
