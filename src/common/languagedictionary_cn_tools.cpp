#include "languagedictionary.h"

// Chinese texts of the register tool's own messages, beyond the shared table.
void LanguageDictionary::addChineseTools(QMap<QString, QString>& dict)
{
    addPairs(dict, {
        {"Not confirmed by the device: ", "设备未确认: "},
        {"Row %1: %2 cannot take the value %3.", "第%1行: %2 不能写入值 %3。"},
        {"Nothing imported.", "未导入任何数据。"},
        {"%1 cannot take the value %2.", "%1 不能写入值 %2。"},
    });
}
