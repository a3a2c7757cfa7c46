#pragma once

#include "platform/message_boxes.h"

// Message boxes on QMessageBox, modal to the application.
class QtMessageBoxes final : public MessageBoxes
{
public:
    void information(const QString &title, const QString &text) override;
    void error(const QString &title, const QString &text) override;
    bool confirm(const QString &title, const QString &text) override;
};
