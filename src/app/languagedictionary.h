#pragma once

#include <QMap>
#include <QString>

// English-to-Chinese text map of the whole program. Every window and page
// builds its own; the language is read from tervancal.ini once, at
// construction, so a change of language takes effect by rebuilding the UI.
class LanguageDictionary
{
public:
    LanguageDictionary();

    // Makes sure tervancal.ini names a supported language ("en" or "cn");
    // anything else is replaced by "en". Other keys of the file are kept.
    static void checkLanguageSetting();

    // The Chinese text of `text` when one is known, else `text` itself.
    QString translate(const QString& text) const;
    // "en" or "cn".
    QString language() const;

    // Name of the settings file, relative to the working directory.
    static QString settingsFileName();

private:
    void loadChinese();

    QMap<QString, QString> m_dict;
    QString m_language;
};
