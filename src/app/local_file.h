#pragma once
// Files named by their own bytes. A Linux file name need not be valid UTF-8,
// and a QString made from such a name (with replacement characters) names
// another file, or none; these act on exactly the file the bytes name.
#include <QByteArray>
#include <QString>

namespace quillon {

struct LocalFileState {
    bool exists = false;   // something is there (a dangling link counts)
    bool isSymLink = false;
    bool isRegular = false; // a regular file, links followed
    bool writable = false;
};

LocalFileState localFileState(const QByteArray& path);

// Deletes the file; on failure returns false with the reason in *error.
// A read-only file is made writable and tried again, where the platform
// refuses to delete read-only files.
bool removeLocalFile(const QByteArray& path, QString* error);

// What the desktop shell is handed to open `path`: the path itself when its
// bytes are valid UTF-8, else a file: URL that carries the bytes
// percent-encoded, which the desktop's opener decodes to the same bytes.
QString shellTarget(const QByteArray& path);

// The folder that holds `path`, with one trailing separator ("/" for a file
// at the top); the bytes as they are.
QByteArray containingFolderBytes(const QByteArray& path);

} // namespace quillon
