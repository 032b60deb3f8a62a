#include "kes_uUiServices.h"

#include "kes_uSignalClose.h"
#include "ldiDirectoryDialog.h"
#include "util/ldiShell.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

#include <cstdio>

namespace {

const QString kBoxTitle = QStringLiteral("Kestrava");

// Once a signal has asked the program to end, no box may wait for a user who has logged out:
// messages go to standard error and questions take their harmless answer.
bool Closing(const QString& text) {
    if (!TkesSignalClose::CloseRequested())
        return false;
    std::fprintf(stderr, "kestrava: %s\n", qUtf8Printable(DisplayMessageText(text)));
    return true;
}

class TkesQtUiServices final : public TkesUiServices {
  public:
    void ShowMessage(QWidget* parent, const QString& text) override {
        if (!Closing(text))
            QMessageBox::information(parent, kBoxTitle, DisplayMessageText(text));
    }
    void ShowError(QWidget* parent, const QString& text) override {
        if (!Closing(text))
            QMessageBox::critical(parent, kBoxTitle, DisplayMessageText(text));
    }
    bool AskYesNo(QWidget* parent, const QString& text) override {
        if (Closing(text))
            return false;
        // Every Yes here writes, deletes or starts a run: Enter must not be enough for it.
        return QMessageBox::question(parent, kBoxTitle, DisplayMessageText(text),
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    }
    TkesAnswer AskYesNoCancel(QWidget* parent, const QString& text) override {
        if (Closing(text))
            return anCancel;
        switch (QMessageBox::question(parent, kBoxTitle, DisplayMessageText(text),
                                      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                      QMessageBox::Cancel)) {
        case QMessageBox::Yes:
            return anYes;
        case QMessageBox::No:
            return anNo;
        default:
            return anCancel;
        }
    }
    QString GetOpenFileName(QWidget* parent, const QString& title, const QString& startFolder,
                            const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, title, startFolder, filter);
    }
    QString GetSaveFileName(QWidget* parent, const QString& title, const QString& startFolder,
                            const QString& filter, const QString& defaultSuffix) override {
        QFileDialog dialog(parent, title, startFolder, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(defaultSuffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }
    bool PickFolder(QWidget* parent, QString& folder) override {
        if (FPicker.Execute(parent) != QDialog::Accepted)
            return false;
        folder = FPicker.Path;
        return true;
    }
    bool OpenDocument(const std::string& path) override { return kes::ldiOpenDocument(path); }
    bool StartProgram(const std::vector<std::string>& argv) override {
        return kes::StartDetached(argv);
    }

  private:
    TldiDirectoryDialog FPicker; // one picker for every folder button, so it keeps the last folder
};

} // namespace

std::unique_ptr<TkesUiServices> MakeQtUiServices() {
    return std::make_unique<TkesQtUiServices>();
}

QString DisplayMessageText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}
