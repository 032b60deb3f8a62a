#include "about_dialog.h"

#include "util/file_io.h"
#include "util/write_gate.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QVBoxLayout>

#include <unistd.h>

// Q_INIT_RESOURCE declares its function in the enclosing namespace, so it must be used at file
// scope; calling it also makes the linker keep the resources of this static library.
static void initResourcesOnce() {
    Q_INIT_RESOURCE(kestrava);
}

namespace kestrava::ui {

void kesInitResources() {
    static const bool kDone = (initResourcesOnce(), true);
    (void)kDone;
}

QPixmap kestravaPixmap(int size) {
    kesInitResources();
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/kestrava/kestrava.svg"));
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

QIcon kestravaIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(kestravaPixmap(size));
    return icon;
}

namespace {

// Written beside and renamed: never half a page, and never through a link planted in its place
// (the temporary folder is shared with other users).
bool writeCopy(const QString& folder, const QString& name, const QByteArray& data) {
    kestrava::util::GatedFolder opened;
    std::string message;
    return kestrava::util::makeFolders(folder.toStdString(), kestrava::util::NewFolderMode::Umask,
                                       opened) &&
           kestrava::util::writeIntoFolder(
               opened, name.toStdString(),
               std::string_view(data.constData(), static_cast<size_t>(data.size())),
               message) == kestrava::util::WriteOutcome::Written;
}

QString writeQuickStartCopy() {
    kesInitResources();
    QFile resource(QStringLiteral(":/kestrava/quickstart.html"));
    if (!resource.open(QIODevice::ReadOnly))
        return {};
    const QByteArray page = resource.readAll();
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!cache.isEmpty() && writeCopy(cache, "quickstart.html", page))
        return cache + "/quickstart.html";
    // The temporary folder is shared: a name of this user's own.
    const QString name = QString("kestrava-%1-quickstart.html").arg(static_cast<uint>(getuid()));
    return writeCopy(QDir::tempPath(), name, page) ? QDir::tempPath() + "/" + name : QString();
}

QLabel* newLabel(const QString& text, const QString& name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

QString quickStartFilePath() {
    // Once per run, so the page always matches the installed program.
    static const QString kPath = writeQuickStartCopy();
    return kPath;
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("fmAbout");
    setWindowTitle("About Kestrava");
    auto* icon = newLabel({}, "imgIcon", this);
    icon->setPixmap(kestravaPixmap(96));
    auto* name = newLabel("Kestrava", "laProgramName", this);
    QFont big = name->font();
    big.setPointSize(big.pointSize() + 8);
    big.setBold(true);
    name->setFont(big);
    auto* version = newLabel(QString("Version ") + kKestravaVersion, "laVersion", this);
    auto* what = newLabel("Finds, and optionally replaces, Perl-compatible regular-expression "
                          "matches across many files at once.",
                          "laDescription", this);
    what->setWordWrap(true);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("bbOK");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addWidget(what);
    texts->addStretch(1);
    texts->addWidget(ok, 0, Qt::AlignRight);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(texts, 1);
    setFixedSize(420, 170);
}

void openQuickStartGuide(UiServices& services, QWidget* parent) {
    const QString path = quickStartFilePath();
    if (path.isEmpty() || !services.openDocument(path.toStdString()))
        services.showError(parent, QStringLiteral("Unable to open the Quick Start Guide") +
                                       (path.isEmpty() ? QString() : QStringLiteral(": ") + path));
}

void showInstalledVersion(UiServices& services, QWidget* parent) {
    services.showMessage(parent, QStringLiteral("Installed version: Kestrava v") +
                                     QString::fromLatin1(kKestravaVersion));
}

} // namespace kestrava::ui
