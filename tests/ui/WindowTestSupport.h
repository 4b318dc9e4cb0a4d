// What the window tests share: the scripted answers of the desktop program's port for the
// length of a test, and finding a named child widget.
#pragma once

#include "ui/QtUiPort.h"

#include <gtest/gtest.h>

#include <QWidget>

// Routes the port's questions to `script` while the object lives.
struct ScriptScope {
    SUiScript script;
    ScriptScope() { GuiPort().SetScript(&script); }
    ~ScriptScope() { GuiPort().SetScript(nullptr); }
};

// The child widget of `parent` named `name`; a test failure (and null) when there is none.
template <class W>
W* Child(QWidget& parent, const char* name)
{
    W* child = parent.findChild<W*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}
