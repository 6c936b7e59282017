#include "HelpViewer.h"

#include "DlgConstants.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <cstring>

namespace zem::app {

namespace {

// The manuals are written for web browsers; Qt's rich text knows a part of
// HTML and CSS only (no header/main/figure elements, no max-width, no
// columns). The viewer shows them with this style instead of their own.
constexpr const char* kViewerStyle =
    "body { color: #1d2733; background-color: #ffffff; }"
    "h2 { color: #0b3d91; margin-top: 24px; }"
    "h3 { color: #1b4f9c; }"
    "pre { background-color: #eef3fa; white-space: pre-wrap; }"
    "code, kbd { background-color: #eef3fa; }"
    "th { background-color: #e6edf6; }"
    ".note { background-color: #fff6e0; }";
constexpr const char* kTitleBackground = "#0b2a5c";
constexpr const char* kTitleColour = "#ffffff";
constexpr const char* kSubtitleColour = "#cfe2ff";
constexpr int kIconSize = 24;
// Room the text leaves beside a picture at the viewer's width.
constexpr int kPictureMargin = 64;

class ManualBrowser : public QTextBrowser {
public:
    explicit ManualBrowser(QWidget* parent) : QTextBrowser(parent) {
        document()->setDefaultStyleSheet(QString::fromLatin1(kViewerStyle));
    }

    QVariant loadResource(int type, const QUrl& name) override {
        if (type != QTextDocument::HtmlResource || !name.isLocalFile())
            return QTextBrowser::loadResource(type, name);
        QFile file(name.toLocalFile());
        if (!file.open(QIODevice::ReadOnly))
            return QTextBrowser::loadResource(type, name);
        return ManualForRichText(QString::fromUtf8(file.readAll()), QFileInfo(file).absolutePath(),
                                 kHelpViewerWidth - kPictureMargin);
    }
};

} // namespace

QString ManualForRichText(QString html, const QString& folder, int pictureWidth) {
    html.remove(
        QRegularExpression(QStringLiteral("<style>.*</style>"), QRegularExpression::DotMatchesEverythingOption));
    // The title band: dark, with light text, as a table Qt draws with its colour.
    html.replace(
        QRegularExpression(QStringLiteral("<header>(.*)</header>"), QRegularExpression::DotMatchesEverythingOption |
                                                                        QRegularExpression::InvertedGreedinessOption),
        QStringLiteral("<table width=\"100%\" cellpadding=\"14\" cellspacing=\"0\" bgcolor=\"%1\"><tr><td>"
                       "\\1</td></tr></table>")
            .arg(QLatin1String(kTitleBackground)));
    html.replace(QStringLiteral("<h1>"), QStringLiteral("<h1 style=\"color: %1\">").arg(QLatin1String(kTitleColour)));
    // The first paragraph after the title is its subtitle.
    html.replace(QRegularExpression(QStringLiteral("(</h1>\\s*)<p>")),
                 QStringLiteral("\\1<p style=\"color: %1\">").arg(QLatin1String(kSubtitleColour)));
    for (const char* tag : {"main", "nav", "figure"}) {
        const bool centred = std::strcmp(tag, "figure") == 0;
        html.replace(QStringLiteral("<%1>").arg(QLatin1String(tag)),
                     centred ? QStringLiteral("<div align=\"center\">") : QStringLiteral("<div>"));
        html.replace(QStringLiteral("</%1>").arg(QLatin1String(tag)), QStringLiteral("</div>"));
    }
    html.replace(QStringLiteral("<figcaption>"), QStringLiteral("<p align=\"center\"><small>"));
    html.replace(QStringLiteral("</figcaption>"), QStringLiteral("</small></p>"));
    // Pictures no wider than the viewer, icons at their size.
    const QRegularExpression image(QStringLiteral("<img ([^>]*)src=\"([^\"]+)\"([^>]*)>"));
    QString out;
    qsizetype from = 0;
    for (auto it = image.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        out += html.mid(from, match.capturedStart() - from);
        from = match.capturedEnd();
        const QString attributes = match.captured(1) + match.captured(3);
        QSize size = QImageReader(folder + QLatin1Char('/') + match.captured(2)).size();
        if (attributes.contains(QLatin1String("class=\"icon\"")))
            size = QSize(kIconSize, kIconSize);
        else if (size.width() > pictureWidth)
            size = QSize(pictureWidth, size.height() * pictureWidth / size.width());
        out += size.isValid() ? QStringLiteral("<img src=\"%1\" width=\"%2\" height=\"%3\">")
                                    .arg(match.captured(2))
                                    .arg(size.width())
                                    .arg(size.height())
                              : match.captured(0);
    }
    out += html.mid(from);
    return out;
}

void ShowHelpViewer(QWidget* parent, const QString& path) {
    auto* viewer = parent->findChild<QDialog*>(QString::fromLatin1(kHelpViewerName), Qt::FindDirectChildrenOnly);
    if (viewer == nullptr) {
        viewer = new QDialog(parent, Qt::Window);
        viewer->setObjectName(QString::fromLatin1(kHelpViewerName));
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->resize(kHelpViewerWidth, kHelpViewerHeight);
        auto* layout = new QVBoxLayout(viewer);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* browser = new ManualBrowser(viewer);
        // Links to the web go to the browser, if there is one; links inside
        // the manual stay here.
        browser->setOpenExternalLinks(true);
        layout->addWidget(browser);
    }
    auto* browser = viewer->findChild<QTextBrowser*>();
    browser->setSource(QUrl::fromLocalFile(path));
    viewer->setWindowTitle(browser->documentTitle().isEmpty() ? QString::fromLatin1(kAppName)
                                                              : browser->documentTitle());
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

} // namespace zem::app
