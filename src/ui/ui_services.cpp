#include "ui_services.h"

#include "folder_picker.h"
#include "signal_close.h"
#include "util/shell.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

#include <cstdio>

namespace kestrava::ui {

namespace {

const QString kBoxTitle = QStringLiteral("Kestrava");

// Once a signal has asked the program to end, no box may wait for a user who has logged out:
// messages go to standard error and questions take their harmless answer.
bool closing(const QString& text) {
    if (!SignalClose::closeRequested())
        return false;
    std::fprintf(stderr, "kestrava: %s\n", qUtf8Printable(displayMessageText(text)));
    return true;
}

class QtUiServices final : public UiServices {
  public:
    void showMessage(QWidget* parent, const QString& text) override {
        if (!closing(text))
            QMessageBox::information(parent, kBoxTitle, displayMessageText(text));
    }
    void showError(QWidget* parent, const QString& text) override {
        if (!closing(text))
            QMessageBox::critical(parent, kBoxTitle, displayMessageText(text));
    }
    bool askYesNo(QWidget* parent, const QString& text) override {
        if (closing(text))
            return false;
        // Every Yes here writes, deletes or starts a run: Enter must not be enough for it.
        return QMessageBox::question(parent, kBoxTitle, displayMessageText(text),
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    }
    Answer askYesNoCancel(QWidget* parent, const QString& text) override {
        if (closing(text))
            return Answer::Cancel;
        switch (QMessageBox::question(parent, kBoxTitle, displayMessageText(text),
                                      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                      QMessageBox::Cancel)) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;
        }
    }
    QString getOpenFileName(QWidget* parent, const QString& title, const QString& startFolder,
                            const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, title, startFolder, filter);
    }
    QString getSaveFileName(QWidget* parent, const QString& title, const QString& startFolder,
                            const QString& filter, const QString& defaultSuffix) override {
        QFileDialog dialog(parent, title, startFolder, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(defaultSuffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }
    bool pickFolder(QWidget* parent, QString& folder) override {
        if (m_picker.execute(parent, folder) != QDialog::Accepted)
            return false;
        folder = m_picker.path;
        return true;
    }
    bool openDocument(const std::string& path) override { return util::openDocument(path); }
    bool startProgram(const std::vector<std::string>& argv) override {
        return util::startDetached(argv);
    }

  private:
    FolderPicker m_picker; // one picker for every folder button, so it keeps the last folder
};

} // namespace

std::unique_ptr<UiServices> makeQtUiServices() {
    return std::make_unique<QtUiServices>();
}

QString displayMessageText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

} // namespace kestrava::ui
