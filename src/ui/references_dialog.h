// The references window: well-known books and online references on regular expressions; the
// online ones open in the desktop's browser (through xdg-open, never a shell).
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QTextBrowser;
class QUrl;

namespace kestrava::ui {

class ReferencesDialog : public QDialog {
    Q_OBJECT
  public:
    explicit ReferencesDialog(QWidget* parent = nullptr);

    // Shows the list at pointSize points (the main window's font-size setting).
    void applyFontSize(int pointSize);

    // Opens a clicked link; only http and https links reach it. Starts xdg-open by default.
    std::function<void(const QString& url)> linkOpener;

    QTextBrowser* referencesBrowser = nullptr;

  private:
    void linkClicked(const QUrl& url);
};

} // namespace kestrava::ui
