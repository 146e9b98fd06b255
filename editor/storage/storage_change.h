// The storage's own: a change record of the text buffer, freed with its
// scope, for the storage's files that edit the buffer.
#pragma once

#include "editor/storage/smart_text_storage.h"
#include "smart_string.h"

class SmartTextStorage::Change {
public:
    explicit Change(quint64 tags) : record_(smart_string_change_new()) {
        if (record_)
            record_->tags = tags;
    }
    ~Change() { smart_string_change_free(record_); }
    Change(const Change &) = delete;
    Change &operator=(const Change &) = delete;
    smart_string_change *get() const { return record_; }
    size_t start() const { return record_ ? record_->new_start : 0; }
    size_t removed() const { return record_ ? record_->removed_length : 0; }
    size_t inserted() const { return record_ ? record_->new_end - record_->new_start : 0; }

private:
    smart_string_change *record_;
};
