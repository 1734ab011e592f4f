#include "apploop.h"

#include "logger.h"
#include "mfcframe.h"

#include <QApplication>
#include <QWidget>

int runApplicationLoop(int& argc, char** argv, const std::function<QWidget*()>& makeWindow)
{
    for (;;) {
        auto* app = new QApplication(argc, argv);
        auto* logger = new Logger(QStringLiteral("clearer"));
        logger->clearLogs();

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
