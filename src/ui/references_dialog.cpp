#include "references_dialog.h"

#include "util/shell.h"

#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace kestrava::ui {

namespace {

const char* const kReferencesHtml = R"(
<h3>Books</h3>
<ul>
<li>Jeffrey E. F. Friedl, <i>Mastering Regular Expressions</i>, 3rd edition, O'Reilly, 2006.
The classic: how regex engines work and how to write expressions that are right and fast.</li>
<li>Jan Goyvaerts and Steven Levithan, <i>Regular Expressions Cookbook</i>, 2nd edition,
O'Reilly, 2012. Worked solutions to everyday matching problems.</li>
<li>Tony Stubblebine, <i>Regular Expression Pocket Reference</i>, 2nd edition, O'Reilly, 2007.
A compact syntax reference.</li>
<li>Ben Forta, <i>Learning Regular Expressions</i>, Addison-Wesley, 2018. A gentle
introduction.</li>
</ul>
<h3>Online</h3>
<ul>
<li><a href="https://www.pcre.org/current/doc/html/pcre2pattern.html">PCRE2 pattern syntax</a>
&mdash; the full description of the expressions Kestrava understands.</li>
<li><a href="https://www.pcre.org/current/doc/html/pcre2syntax.html">PCRE2 syntax summary</a>
&mdash; the same on one page, in brief.</li>
<li><a href="https://www.regular-expressions.info/">Regular-Expressions.info</a>
&mdash; a tutorial and reference covering many regex flavours.</li>
<li><a href="https://perldoc.perl.org/perlre">perlre</a>
&mdash; Perl's own regular-expression documentation, the model PCRE follows.</li>
</ul>
)";

} // namespace

ReferencesDialog::ReferencesDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("fmReferences");
    setWindowTitle("Regular Expression References");
    linkOpener = [](const QString& url) { util::openDocument(url.toStdString()); };
    referencesBrowser = new QTextBrowser(this);
    referencesBrowser->setObjectName("referencesBrowser");
    referencesBrowser->setOpenLinks(false); // links go to the desktop's browser, not this view
    referencesBrowser->setHtml(kReferencesHtml);
    connect(referencesBrowser, &QTextBrowser::anchorClicked, this, &ReferencesDialog::linkClicked);
    auto* close = new QPushButton("Close", this);
    close->setObjectName("bbClose");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(referencesBrowser, 1);
    layout->addWidget(close, 0, Qt::AlignRight);
    resize(560, 420);
}

void ReferencesDialog::applyFontSize(int pointSize) {
    if (pointSize <= 0)
        return;
    QFont font = referencesBrowser->font();
    font.setPointSize(pointSize);
    referencesBrowser->setFont(font);
    referencesBrowser->document()->setDefaultFont(font);
}

void ReferencesDialog::linkClicked(const QUrl& url) {
    // Only web pages: a link never names a local file or a program to start.
    const QString scheme = url.scheme().toLower();
    if ((scheme == "http" || scheme == "https") && linkOpener)
        linkOpener(url.toString());
}

} // namespace kestrava::ui
