#include "languagedictionary.h"

// Chinese texts of the register tool's own messages, beyond the shared table.
void LanguageDictionary::addChineseTools(QMap<QString, QString>& dict)
{
    addPairs(dict, {
        {"Not confirmed by the device: ", "设备未确认: "},
        {"Row %1: %2 cannot take the value %3.", "第%1行: %2 不能写入值 %3。"},
        {"Nothing imported.", "未导入任何数据。"},
        {"%1 cannot take the value %2.", "%1 不能写入值 %2。"},
        {"Row %1: the name is %2.", "第%1行: 名称是%2。"},
        {"Row %1: the value of %2 is %3.", "第%1行: %2 的值是%3。"},
        {"a formula without a stored result", "没有保存结果的公式"},
        {"a date or time", "日期或时间"},
        {"a percentage", "百分比"},
        {"a fraction", "分数"},
        {"Export fail.", "导出失败。"},
        {"Export fail. The file there is not a workbook this program can read, so it is left as it was:",
         "导出失败。该文件不是本程序能读取的工作簿, 已保持原样:"},
    });
}
