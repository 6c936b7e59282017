#include "HelpViewer.h"

#include "DlgConstants.h"

#include <QDialog>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace zem::app {

void ShowHelpViewer(QWidget* parent, const QString& path) {
    auto* viewer = parent->findChild<QDialog*>(QString::fromLatin1(kHelpViewerName), Qt::FindDirectChildrenOnly);
    if (viewer == nullptr) {
        viewer = new QDialog(parent, Qt::Window);
        viewer->setObjectName(QString::fromLatin1(kHelpViewerName));
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->resize(kHelpViewerWidth, kHelpViewerHeight);
        auto* layout = new QVBoxLayout(viewer);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* browser = new QTextBrowser(viewer);
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
