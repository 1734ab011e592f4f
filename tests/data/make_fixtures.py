#!/usr/bin/python3
"""Writes the workbook fixtures of the xlsx tests into this folder.

Run once with Debian's python3 (python3-openpyxl); the .xlsx files are committed.
"""
import os
import zipfile

import openpyxl

HERE = os.path.dirname(os.path.abspath(__file__))

MAIN_NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL_NS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL_NS = "http://schemas.openxmlformats.org/package/2006/relationships"
HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'


def openpyxl_fixture():
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Registers"
    ws["A1"] = "Command"
    ws["B1"] = "Value"
    ws["A2"] = "ReadFlow"
    ws["B2"] = 100
    ws["A3"] = "GasName"
    ws["B3"] = "  N2 "
    ws["A4"] = "日期时间"
    ws["B4"] = 37.5
    ws["C4"] = True
    ws["D10"] = "a < b & c > d"
    ws["B11"] = -0.001
    other = wb.create_sheet("Second")
    other["A1"] = "not the first sheet"
    wb.save(os.path.join(HERE, "openpyxl_written.xlsx"))


def package(path, parts):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts:
            z.writestr(name, data)


def content_types(sheets, shared=True):
    over = "".join(
        '<Override PartName="/xl/worksheets/%s" ContentType="application/vnd.openxmlformats-'
        'officedocument.spreadsheetml.worksheet+xml"/>' % s for s in sheets)
    if shared:
        over += ('<Override PartName="/xl/sharedStrings.xml" ContentType="application/'
                 'vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>')
    return (HEAD + '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>'
            '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-'
            'officedocument.spreadsheetml.sheet.main+xml"/>' + over + '</Types>')


ROOT_RELS = (HEAD + '<Relationships xmlns="%s"><Relationship Id="rId1" Type="%s/officeDocument" '
             'Target="xl/workbook.xml"/></Relationships>' % (PKG_REL_NS, REL_NS))


def shared_rich_fixture():
    """Shared strings with rich text runs and phonetic guides, as spreadsheet
    programs save them; the first sheet in workbook order is not sheet1.xml."""
    workbook = (HEAD + '<workbook xmlns="%s" xmlns:r="%s"><sheets>'
                '<sheet name="Liste" sheetId="2" r:id="rId7"/>'
                '<sheet name="Other" sheetId="1" r:id="rId1"/>'
                '</sheets></workbook>' % (MAIN_NS, REL_NS))
    wb_rels = (HEAD + '<Relationships xmlns="%s">'
               '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/>'
               '<Relationship Id="rId7" Type="%s/worksheet" Target="/xl/worksheets/sheet2.xml"/>'
               '<Relationship Id="rId3" Type="%s/sharedStrings" Target="sharedStrings.xml"/>'
               '</Relationships>' % (PKG_REL_NS, REL_NS, REL_NS, REL_NS))
    shared = (HEAD + '<sst xmlns="%s" count="6" uniqueCount="6">'
              '<si><t>Command</t></si>'
              '<si><t>Value</t></si>'
              '<si><r><rPr><b/><sz val="11"/></rPr><t>Bold</t></r>'
              '<r><rPr><sz val="11"/></rPr><t xml:space="preserve"> and plain</t></r></si>'
              '<si><t>漢字</t><rPh sb="0" eb="2"><t>かんじ</t></rPh><phoneticPr fontId="1"/></si>'
              '<si><t xml:space="preserve">  spaced  </t></si>'
              '<si><t>x &amp; y &lt;z&gt;</t></si>'
              '</sst>' % MAIN_NS)
    sheet2 = (HEAD + '<worksheet xmlns="%s"><dimension ref="A1:C7"/><sheetData>'
              '<row r="1" spans="1:2"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c></row>'
              '<row r="2"><c r="A2" t="s"><v>2</v></c><c r="B2" s="1"><v>12.5</v></c></row>'
              '<row r="3"><c r="A3" t="s"><v>3</v></c><c r="B3" t="b"><v>1</v></c></row>'
              '<row r="4"><c r="A4" t="s"><v>4</v></c><c r="B4" t="str"><f>A1&amp;"x"</f><v>Commandx</v></c></row>'
              '<row r="5"><c r="A5" t="s"><v>5</v></c><c r="B5" s="2"/></row>'
              '<row r="7"><c r="A7" t="inlineStr"><is><r><t>in</t></r><r><rPr><i/></rPr><t>line</t></r></is></c>'
              '<c t="e"><v>#DIV/0!</v></c><c><v>1E3</v></c></row>'
              '</sheetData></worksheet>' % MAIN_NS)
    sheet1 = (HEAD + '<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1" t="inlineStr">'
              '<is><t>wrong sheet</t></is></c></row></sheetData></worksheet>' % MAIN_NS)
    package(os.path.join(HERE, "shared_rich.xlsx"), [
        ("[Content_Types].xml", content_types(["sheet1.xml", "sheet2.xml"])),
        ("_rels/.rels", ROOT_RELS),
        ("xl/workbook.xml", workbook),
        ("xl/_rels/workbook.xml.rels", wb_rels),
        ("xl/sharedStrings.xml", shared),
        ("xl/worksheets/sheet1.xml", sheet1),
        ("xl/worksheets/sheet2.xml", sheet2),
    ])


def simple_parts(sheet_xml, with_sheet=True):
    workbook = (HEAD + '<workbook xmlns="%s" xmlns:r="%s"><sheets><sheet name="Sheet1" sheetId="1" '
                'r:id="rId1"/></sheets></workbook>' % (MAIN_NS, REL_NS))
    wb_rels = (HEAD + '<Relationships xmlns="%s"><Relationship Id="rId1" Type="%s/worksheet" '
               'Target="worksheets/sheet1.xml"/></Relationships>' % (PKG_REL_NS, REL_NS))
    parts = [
        ("[Content_Types].xml", content_types(["sheet1.xml"], shared=False)),
        ("_rels/.rels", ROOT_RELS),
        ("xl/workbook.xml", workbook),
        ("xl/_rels/workbook.xml.rels", wb_rels),
    ]
    if with_sheet:
        parts.append(("xl/worksheets/sheet1.xml", sheet_xml))
    return parts


def hostile_fixtures():
    # A sheet that unpacks to 65 MiB of white space from about 65 KB.
    sheet = (HEAD + '<worksheet xmlns="%s"><sheetData>' % MAIN_NS
             + " " * (65 * 1024 * 1024) + '</sheetData></worksheet>')
    package(os.path.join(HERE, "bomb.xlsx"), simple_parts(sheet))
    # The workbook names a sheet part that the archive does not hold.
    package(os.path.join(HERE, "missing_sheet.xlsx"), simple_parts("", with_sheet=False))
    # Entity expansion ("billion laughs") through a document type declaration.
    laughs = '<!DOCTYPE worksheet [<!ENTITY a "lol">' + "".join(
        '<!ENTITY %s "%s">' % (chr(ord("b") + i), ("&%s;" % chr(ord("a") + i)) * 10)
        for i in range(9)) + ']>'
    dtd = (HEAD + laughs + '<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1" t="inlineStr">'
           '<is><t>&j;</t></is></c></row></sheetData></worksheet>' % MAIN_NS)
    package(os.path.join(HERE, "entities.xlsx"), simple_parts(dtd))


if __name__ == "__main__":
    openpyxl_fixture()
    shared_rich_fixture()
    hostile_fixtures()
