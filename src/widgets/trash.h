#pragma once
// The desktop's trash, from where deleted files can be restored. Behind an
// interface so tests can tell which folders have one.
#include <QByteArray>
#include <QString>

namespace quillon {

class Trash {
public:
    virtual ~Trash() = default;
    // Whether files in the folder (its own bytes) go to a trash when deleted.
    virtual bool holds(const QByteArray& folder) = 0;
    // Moves the file there; on failure false, with the reason in *error.
    virtual bool moveToTrash(const QByteArray& path, QString* error) = 0;
};

// The freedesktop.org trash that file managers share (QFile::moveToTrash):
// the home trash for files on the home's file system, else the file
// system's own ".Trash" or ".Trash-<uid>" folder at its top.  A name whose
// bytes are not UTF-8 cannot be handed to it, so such files have none.
class DesktopTrash final : public Trash {
public:
    bool holds(const QByteArray& folder) override;
    bool moveToTrash(const QByteArray& path, QString* error) override;
};

} // namespace quillon
