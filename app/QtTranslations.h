#pragma once

#include <QList>
#include <QLocale>
#include <QString>

class QCoreApplication;
class QTranslator;
class QWebEnginePage;

// The language of the texts Qt draws itself (file choosers, standard buttons, the view's context
// menu). The program's own texts are Japanese, so a window half in English is the worst outcome:
// a Japanese or English locale keeps its language, any other gets Japanese.
QLocale QtTextLocale(const QLocale& user);

// Installs Qt's own catalogues (qtbase, and qtwebengine where the folder has one) for the locale
// from the folder, and returns those installed (owned by the application, each named after its
// catalogue). A missing folder or catalogue installs nothing: the texts stay in English and nothing
// else changes.
QList<QTranslator*> InstallQtTranslations(
    QCoreApplication& application, const QLocale& locale, const QString& folder);

// The view's context menu in Japanese when the default locale is Japanese: the engine takes those
// captions from a catalogue the distribution does not ship, so the page's actions get ours.
void TranslateViewActions(QWebEnginePage& page);
