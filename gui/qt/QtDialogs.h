#pragma once

#include "gui/WindowOperations.h"

class QWidget;

namespace packsmith::qt {

// The window's real dialogs and message boxes, owned by the window they belong to.
class QtDialogs final : public DialogOperations {
public:
    explicit QtDialogs(QWidget* owner) : owner_(owner) {}

    std::optional<OpenDialogResult> SelectLog() override;
    std::optional<std::string> SaveLST() override;
    std::optional<std::string> SaveRes() override;
    std::optional<std::string> SelectDirectory(const std::string& start) override;
    void InformationBox(const std::string& text, const std::string& caption) override;
    void ErrorBox(const std::string& text) override;
    std::optional<std::size_t> ChooseOne(const std::string& text, const std::string& caption,
                                         const std::vector<std::string>& choices, std::size_t preferred) override;
    void AboutBox() override;

private:
    QWidget* owner_;
};

} // namespace packsmith::qt
