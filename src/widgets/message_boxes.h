#pragma once
// Modal message boxes go through this interface so that tests can answer them.
#include <QString>
#include <component/message_icon.h>

class QWidget;

namespace quillon {

enum class MsgButtons { Ok, YesNo, YesNoCancel };
using component::MessageIcon;
enum class MsgAnswer { Ok, Yes, No, Cancel };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows a modal box titled with the program's name and returns the button pressed.
    virtual MsgAnswer show(QWidget* parent, const QString& text, MsgButtons buttons,
                           MessageIcon icon) = 0;
};

// The real boxes (QMessageBox).
class QtMessageBoxes final : public MessageBoxes {
public:
    MsgAnswer show(QWidget* parent, const QString& text, MsgButtons buttons,
                   MessageIcon icon) override;
};

// The program's title used on every box.
QString programTitle();

} // namespace quillon
