// Interfaces the editor layer declares and the layers above implement, so
// that calls keep going downwards.
#pragma once

#include <QStringList>

// The per-user extras the editor reads: its expansion files, in the order
// they are to be loaded.
class ExtrasProvider {
public:
    virtual ~ExtrasProvider() = default;
    virtual QStringList expansionFilePaths() const = 0;
};
