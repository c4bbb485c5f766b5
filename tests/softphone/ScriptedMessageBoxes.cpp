#include "tests/softphone/ScriptedMessageBoxes.h"

ScriptedMessageBoxes::ScriptedMessageBoxes()
{
    MessageBoxes::Use(this);
}

ScriptedMessageBoxes::~ScriptedMessageBoxes()
{
    MessageBoxes::Use(nullptr);
}

void ScriptedMessageBoxes::Inform(QWidget*, const QString& text, Icon icon)
{
    shown_.append(text);
    icons.append(icon);
}

bool ScriptedMessageBoxes::AskYesNo(QWidget*, const QString& question)
{
    shown_.append(question);
    icons.append(Icon::Information);
    if (answers_.empty())
        return false;
    const bool yes = answers_.front();
    answers_.pop_front();
    return yes;
}

QStringList ScriptedMessageBoxes::Take()
{
    QStringList taken;
    taken.swap(shown_);
    return taken;
}
