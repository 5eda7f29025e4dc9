// The program's window in a process of its own, for the test that kills it.
//   autosave_child type <text>   starts as the program does, types <text> into
//                                the editor, sets the rate to 35, and runs
//                                until it is killed
//   autosave_child show          starts as the program does and prints the
//                                editor's text and the rate as JSON
#include "MainWindow.h"
#include "TTSText.h"
#include "ttsMain.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QTextCursor>
#include <QSpinBox>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    MainWindow window;
    window.show();
    window.openAtStart({arguments.value(0)});
    ttsMain *page = window.page();

    if (arguments.value(1) == QLatin1String("show")) {
        const QJsonObject shown{{"text", page->scriptText()},
                                {"rate", page->findChild<QSpinBox *>("rateBox")->value()}};
        std::fputs(QJsonDocument(shown).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fflush(stdout);
        // Straight out: the catalogue loader may still be waiting for a service.
        std::_Exit(0);
    }

    auto *editor = page->findChild<TTSText *>("textEdit");
    editor->setFocus();
    editor->moveCursor(QTextCursor::End);
    // Typed key by key, Chinese included (keyClicks knows ASCII keys only).
    for (const QChar character : arguments.value(2)) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(character));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(character));
        QApplication::sendEvent(editor, &press);
        QApplication::sendEvent(editor, &release);
    }
    page->findChild<QSpinBox *>("rateBox")->setValue(35);
    return app.exec();
}
