#pragma once

#include <QMap>
#include <QString>

#include <initializer_list>

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

    // One English text and its Chinese translation.
    struct TextPair
    {
        const char* key;
        const char* value;
    };

private:
    // Later pairs win over earlier ones with the same key.
    static void addPairs(QMap<QString, QString>& dict, std::initializer_list<TextPair> pairs);
    void loadChinese();
    static void addChineseManualCal(QMap<QString, QString>& dict);
    static void addChineseUserCal(QMap<QString, QString>& dict);
    static void addChineseTools(QMap<QString, QString>& dict);

    QMap<QString, QString> m_dict;
    QString m_language;
};
