// The storage's own: a change record of the text buffer, freed with its
// scope, for the storage's files that edit the buffer.
#pragma once

#include "editor/storage/smart_text_storage.h"
#include "textengine/buffer/smart_string.h"

class SmartTextStorage::Change {
public:
    explicit Change(quint64 tags) : m_record(smart_string_change_new()) {
        if (m_record)
            m_record->tags = tags;
    }
    ~Change() { smart_string_change_free(m_record); }
    Change(const Change &) = delete;
    Change &operator=(const Change &) = delete;
    smart_string_change *get() const { return m_record; }
    size_t start() const { return m_record ? m_record->new_start : 0; }
    size_t removed() const { return m_record ? m_record->removed_length : 0; }
    size_t inserted() const { return m_record ? m_record->new_end - m_record->new_start : 0; }

private:
    smart_string_change *m_record;
};
