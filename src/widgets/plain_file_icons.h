#pragma once
// Icons and type names for a file dialog that never look inside a file. A
// FIFO, a device, a /proc file or a file on a hung share can block whoever
// reads it; Qt's own provider reads a file's first bytes to learn its type,
// which froze the save dialog for good. Here the type comes from the name
// and the file's kind (stat) alone.
#include <QFileIconProvider>

namespace quillon {

class PlainFileIconProvider : public QFileIconProvider {
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
};

// True when `path` is a folder that can be listed and entered and that holds
// ordinary files: not /proc, /sys, /dev and the like, whose files are kernel
// interfaces a dialog must not wander into.
bool isOrdinaryFolder(const QString& path);

} // namespace quillon
