#include "apploop.h"

#include "languagedictionary.h"
#include "logger.h"
#include "mfcframe.h"

#include <QApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QTranslator>
#include <QWidget>

namespace {
// Qt's own texts (standard buttons of message boxes, file dialogs) follow the
// language the program speaks; the program's texts go through its dictionary.
void installQtTranslation(QApplication* app)
{
    if (LanguageDictionary().language() != QLatin1String("cn"))
        return;
    auto* translator = new QTranslator(app);
    const QString dir = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    if (translator->load(QStringLiteral("qtbase_zh_CN"), dir))
        app->installTranslator(translator);
    else
        qDebug().noquote() << QStringLiteral("Error: no Chinese translation of Qt's texts in %1").arg(dir);
}
} // namespace

int runApplicationLoop(int& argc, char** argv, const std::function<QWidget*()>& makeWindow)
{
    for (;;) {
        auto* app = new QApplication(argc, argv);
        auto* logger = new Logger(QStringLiteral("clearer"));
        logger->clearLogs();
        installQtTranslation(app);

        QWidget* window = makeWindow();
        window->show();
        const int rc = app->exec();

        // The window has stopped the link before leaving with the restart
        // code, so no serial traffic overlaps the teardown.
        delete window;
        delete logger;
        delete app;
        if (rc != RESTART_EXIT_CODE)
            return rc;
    }
}
