#include "languagedictionary.h"

// Chinese texts of the manual calibration page's own messages, beyond the shared table.
void LanguageDictionary::addChineseManualCal(QMap<QString, QString>& dict)
{
    addPairs(dict, {
    });
}
