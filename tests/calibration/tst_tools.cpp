// Register tool against the simulated device, through the main window; its
// table view, the spin-box delegates; last, the menu of the engineering pages.
#include "autoscrolltableview.h"
#include "caltestutil.h"
#include "filesizelimit.h"
#include "spinboxdelegate.h"
#include "ui_manualcalv3.h"
#include "ui_toolsv3.h"

using namespace caltest;
using QSL = QStringList;

// Python that defines pkg(sheet), writing a one-sheet workbook of that worksheet XML to sys.argv[1], and ws(inner).
const QString kPackage = R"(import sys,zipfile
p=sys.argv[1]; O='http://schemas.openxmlformats.org/'; M=O+'spreadsheetml/2006/main'; R=O+'officeDocument/2006/relationships'
def pkg(sheet):
  with zipfile.ZipFile(p,'w',zipfile.ZIP_DEFLATED) as z:
    z.writestr('[Content_Types].xml','<Types xmlns="%spackage/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/><Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/></Types>'%O)
    z.writestr('_rels/.rels','<Relationships xmlns="%spackage/2006/relationships"><Relationship Id="r" Type="%s/officeDocument" Target="xl/workbook.xml"/></Relationships>'%(O,R))
    z.writestr('xl/workbook.xml','<workbook xmlns="%s" xmlns:r="%s"><sheets><sheet name="S" sheetId="1" r:id="s"/></sheets></workbook>'%(M,R))
    z.writestr('xl/_rels/workbook.xml.rels','<Relationships xmlns="%spackage/2006/relationships"><Relationship Id="s" Type="%s/worksheet" Target="worksheets/sheet1.xml"/></Relationships>'%(O,R))
    z.writestr('xl/worksheets/sheet1.xml',sheet)
def ws(inner): return '<worksheet xmlns="%s">%s</worksheet>'%(M,inner)
)";

// Value cells ("Name=value"), what the device holds once the commit arrives, what it receives, mismatches shown.
struct WriteAllCase { QSL cells, afterCommit; QString requests; QSL mismatches; };
// Digits released on the table (' ': a pause that forgets them) in a column; the row selected (-1: none).
struct TypedCase { QString keys; int column, selected; };
Q_DECLARE_METATYPE(WriteAllCase)
Q_DECLARE_METATYPE(TypedCase)

class TestTools : public QObject
{
    Q_OBJECT

    int row(const QString& name) const { return m_model->findItems(name).value(0)->row(); }
    QString field(const char* name) const { return m_page->findChild<QLineEdit*>(name)->text(); }
    QSL counters() const { return {field("totalEdit"), field("completedEdit"), field("checkedEdit")}; }
    void click(const char* name) { QTest::mouseClick(m_page->findChild<QPushButton*>(name), Qt::LeftButton); }
    void reply(const QString& cmd, const QString& output) { m_page->mfc_ack({cmd, KIND_TEXT, {}, output}); }
    // Fills Value cells ("Name=value") as replies do, without the single-cell write.
    void setCellsQuietly(const QSL& pairs)
    {
        const QSignalBlocker block(m_model);
        for (int r = 0; r < m_model->rowCount(); ++r)
            m_model->item(r, 1)->setText(QString());
        for (const QString& p : pairs)
            m_model->item(row(p.section('=', 0, 0)), 1)->setText(p.section('=', 1));
    }

    apptest::WorkDir m_dir;
    SimDevice m_dev;
    std::unique_ptr<UI_Test> m_w;
    UI_ToolsV3* m_page = nullptr;
    QTableView* m_view = nullptr;
    QStandardItemModel* m_model = nullptr;

private slots:
    void initTestCase()
    {
        m_dev.setValue("MFCSerialNumber", "A/1");
        QVERIFY(startOn(m_dev, m_w, m_page));
        m_view = m_page->findChild<QTableView*>("regTable");
        m_model = qobject_cast<QStandardItemModel*>(m_view->model());
    }

    void init()
    {
        QTRY_VERIFY(m_page->isEnabled());
        takeBoxes();
        // Settle: once the link is idle the next frame is a flow poll, and its
        // arrival means every earlier frame (a dropped one too) has arrived.
        QTRY_VERIFY_WITH_TIMEOUT(m_w->findChild<UI_DrvV3*>()->hal()->isIdle(), 15000);
        m_dev.clearRequests();
        QTRY_VERIFY(m_dev.requestCount("ReadFlow") > 0);
        m_dev.clearRequests();
    }

    void readAllAfterFailedWriteAll()
    {
        // A list the link refuses (MACAddress 5 is out of range) ends write all inside the request.
        setCellsQuietly({"Delay=8", "MACAddress=5"});
        click("writeAllButton");
        QVERIFY(m_page->isEnabled());
        // The box opens over the page; a second refusal replaces it rather than piling up.
        const auto box = m_page->findChild<QMessageBox*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(box && box->isVisible());
        setCellsQuietly({"MACAddress=6"});
        click("writeAllButton");
        QCOMPARE(takeBoxes(), QSL{"Write fail\nMACAddress cannot take the value 6."});
        // A write all that dies while verifying leaves nothing to compare later replies with.
        setCellsQuietly({"Delay=3"});
        click("writeAllButton");
        QTRY_COMPARE(m_dev.requestCount("EEPROMProgram"), 1);
        m_w->commands_req({makeFrame("NoSuchRegister")}); // refused: drops the read-backs
        QVERIFY(m_page->isEnabled());
        QCOMPARE(takeBoxes(), QSL{"Write fail"});
        init();

        QSL readable; // every row so marked, in table order
        for (int r = 0; r < m_model->rowCount(); ++r)
            if (m_model->item(r, 5)->text() == "Y")
                readable << "r " + m_model->item(r, 0)->text();
        click("readAllButton");
        QVERIFY(!m_page->isEnabled());
        reply("Delay", "9");
        reply("Delay", "9");
        QTRY_VERIFY_WITH_TIMEOUT(m_page->isEnabled(), 20000);
        QCOMPARE(takeBoxes(), QSL{"Completed"});
        QCOMPARE(pageRequests(m_dev), readable.filter(QRegularExpression("^r (?!ReadFlow$|ReadActiveSetpoint$)")));
        const QString n = QString::number(readable.size());
        QCOMPARE(counters(), (QSL{n, n, "0"}));
        for (const QString& r : readable)
            QVERIFY2(!m_model->item(row(r.mid(2)), 1)->text().isEmpty(), qPrintable(r));
    }

    void writeAll_data()
    {
        QTest::addColumn<WriteAllCase>("c");
        QTest::newRow("all match") << WriteAllCase{{"SensorGain=1.000", "CalibrationGasName=Ar", "DigitalSetpoint=40", "CM=3"},
                                                   {"SensorGain=1.005", "CM=2"},
                                                   "w CM,w DigitalSetpoint,w CalibrationGasName,w SensorGain,w EEPROMProgram,"
                                                   "r CM,r CalibrationGasName,r DigitalSetpoint,r SensorGain", {}};
        QTest::newRow("one summary") << WriteAllCase{{"SensorGain=1.000", "Delay=05"}, {"SensorGain=1.02"},
                                                     "w Delay,w SensorGain,w EEPROMProgram,r Delay,r SensorGain",
                                                     {"Cmd Delay error, should be: 05, read back: 5.",
                                                      "Cmd SensorGain error, should be: 1.000, read back: 1.01999998."}};
        QTest::newRow("nothing to write") << WriteAllCase{{}, {}, "w EEPROMProgram", {}};
        QTest::newRow("rows left out") << WriteAllCase{{"BaudRate=9600", "Reset=1", "ClearAlarms=1", "Delay=4"}, {},
                                                       "w Delay,w EEPROMProgram,r Delay", {}};
        // Last, though LowStartVavle follows it in the table: the device answers at its new address from then on.
        QTest::newRow("new address last") << WriteAllCase{{"MACAddress=40", "LowStartVavle=7"}, {},
                                                          "w LowStartVavle,w MACAddress,w EEPROMProgram,r LowStartVavle,r MACAddress", {}};
    }

    void writeAll()
    {
        QFETCH(WriteAllCase, c);
        const auto& [cells, afterCommit, requests, mismatches] = c;
        setCellsQuietly(cells);
        QObject ctx;
        connect(&m_dev, &SimDevice::requestReceived, &ctx, [&](const SimDevice::Request& r) {
            for (const QString& p : afterCommit)
                if (r.cmd == "EEPROMProgram")
                    m_dev.setValue(p.section('=', 0, 0), p.section('=', 1));
        });
        click("writeAllButton");
        QTRY_VERIFY_WITH_TIMEOUT(m_page->isEnabled(), 15000);
        QTRY_COMPARE(pageRequests(m_dev), requests.split(','));
        const int written = requests.count(",r ");
        const QString n = QString::number(written);
        QCOMPARE(counters(), (QSL{n, n, QString::number(written - mismatches.size())}));
        QCOMPARE(takeBoxes(), QSL{mismatches.isEmpty() ? "Completed" : mismatches.join('\n')}); // one box for the whole run
        const QList<SimDevice::Request> reqs = m_dev.requests();
        const int mac = apptest::indexOf(reqs, "MACAddress");
        for (int i = 0; i < reqs.size(); ++i)
            QCOMPARE(int(reqs.at(i).address), mac < 0 || i <= mac ? 32 : 40);
    }

    void singleRegister()
    {
        const QModelIndex delay = m_model->index(row("Delay"), 1);
        m_model->setData(delay, "21"); // an edit writes
        m_model->setData(delay, "21"); // the same text does not
        m_view->setCurrentIndex(m_model->index(row("ReadFlow"), 1));
        QVERIFY(!(m_model->flags(m_view->currentIndex()) & Qt::ItemIsEditable));
        click("writeSingleButton"); // read-only: nothing
        m_view->setCurrentIndex(delay);
        click("writeSingleButton");
        emit m_view->doubleClicked(m_model->index(row("Reset"), 0));      // never read singly
        emit m_view->doubleClicked(m_model->index(row("HoldFollow"), 1)); // value column: no read
        emit m_view->doubleClicked(m_model->index(row("Delay"), 0));
        QTRY_COMPARE(pageRequests(m_dev), (QSL{"w Delay", "w Delay", "r Delay"}));
        QCOMPARE(m_dev.value("Delay"), "21");
    }

    void exportList()
    {
        QCOMPARE(field("fileNameEdit"), "A_1.xlsx");
        reply("MFCSerialNumber", "B2");
        QCOMPARE(field("fileNameEdit"), "A_1.xlsx");
        // The box, then the first two columns as openpyxl reads them, then `more`: Python expressions on the workbook.
        const auto exported = [this](const QString& more) {
            click("exportButton");
            const QString out = python("import json,re,sys,openpyxl,zipfile\n"
                                       "wb=openpyxl.load_workbook(sys.argv[1]); ws=wb.active; z=zipfile.ZipFile(sys.argv[1])\n"
                                       "print(json.dumps([[c.value if c.data_type in 'sn' else 'not text' for c in r]"
                                       " for r in ws.iter_rows(max_col=2)]+[[" + more + "]]))",
                                       {"reg/A_1.xlsx"});
            QJsonArray rows = QJsonDocument::fromJson(out.toUtf8()).array();
            rows.prepend(takeBoxes().join('|'));
            return rows;
        };
        const auto expected = [this](const QJsonArray& more) {
            QJsonArray rows{"Completed", QJsonArray{"Command", "Value"}};
            for (int r = 0; r < m_model->rowCount(); ++r) {
                const QString value = m_model->item(r, 1)->text();
                rows << QJsonArray{m_model->item(r, 0)->text(), value.isEmpty() ? QJsonValue() : value};
            }
            return rows << more;
        };
        // Before a Read all the program's own export holds names without value cells; the next one fills them
        // (and has the workbook recalculated on opening, which the one after keeps).
        QVERIFY(QDir().mkpath("reg"));
        QFile::remove("reg/A_1.xlsx");
        setCellsQuietly({});
        QCOMPARE(exported("")[0], "Completed");
        setCellsQuietly({"Delay=7", "TargetGasName=He"});
        QCOMPARE(exported("")[0], "Completed");
        QCOMPARE(exported("wb.calculation.fullCalcOnLoad"), expected({true}));

        // Over the user's workbook: only the cells written change; a written cell keeps its style. Formulas
        // are recalculated on opening (the setting goes where the workbook's schema puts it), and the
        // calculation chain, which named a formula written over, goes.
        QCOMPARE(python(R"(import re,sys,zipfile,openpyxl
wb=openpyxl.Workbook(); ws=wb.active
for r in range(2,201,2): ws.cell(r,2,'stale')
ws['A1'].font=ws['C1'].font=openpyxl.styles.Font(bold=True)
ws['C1']='note'; ws['C2']='=LEN(A2)'; ws['B4']='=1+1'; wb.create_sheet('other')['A1']='kept'; wb.save(sys.argv[1])
z=zipfile.ZipFile(sys.argv[1]); p={n:z.read(n) for n in z.namelist()}; ns='http://schemas.openxmlformats.org/'
p['xl/calcChain.xml']=('<calcChain xmlns="%sspreadsheetml/2006/main"><c r="C2" i="1"/><c r="B4"/></calcChain>' % ns).encode()
for n,e,x in (('[Content_Types].xml','</Types>','<Override PartName="/xl/calcChain.xml" ContentType="a"/></Types>'),
  ('xl/_rels/workbook.xml.rels','</Relationships>','<Relationship Id="c" Target="calcChain.xml" Type="%sofficeDocument/2006/relationships/calcChain"/></Relationships>' % ns),
  ('xl/workbook.xml','<calcPr[^>]*>','<extLst/>')): p[n]=re.sub(e.encode(),x.encode(),p[n])
with zipfile.ZipFile(sys.argv[1],'w') as z: [z.writestr(n,d) for n,d in p.items()])", {"reg/A_1.xlsx"}),
                 QString());
        QCOMPARE(exported("ws['A1'].font.b,ws['C1'].value,ws['C1'].font.b,ws['C2'].value,wb['other']['A1'].value,"
                          "wb.calculation.fullCalcOnLoad,re.findall('<(calcPr|extLst)',z.read('xl/workbook.xml').decode()),"
                          "[n for n in z.namelist() if b'calcChain' in z.read(n)]"),
                 expected({true, "note", true, "=LEN(A2)", "kept", true, QJsonArray{"calcPr", "extLst"}, QJsonArray()}));
    }

    // A file the export cannot read, or cannot save over, is left byte for byte, and the box says why.
    void exportFails_data()
    {
        QTest::addColumn<QString>("make");  // Python (after kPackage) writing the file at p
        QTest::addColumn<QString>("other"); // "lock": a spreadsheet program has it open; "full": no room to save
        QTest::addColumn<QString>("box");   // pattern
        const QString unread = "^Export fail. The file there is not a workbook this program can read, so it is left as it "
                               "was:\nCannot read reg/A_1.xlsx: ";
        const QString workbook = "import openpyxl; openpyxl.Workbook().save(p)";
        QTest::newRow("text") << "open(p,'w').write('Delay,7')" << "" << unread + "not a zip archive";
        QTest::newRow("truncated") << workbook + "; d=open(p,'rb').read(); open(p,'wb').write(d[:len(d)//2])" << ""
                                   << unread + "not a zip archive";
        QTest::newRow("document type") << "pkg('<!DOCTYPE worksheet>'+ws('<sheetData/>'))" << "" << unread + ".*document type";
        QTest::newRow("over the reader's limits") // a million rows, which spreadsheet programs open
            << "pkg(ws('<sheetData>'+''.join('<row r=\"%d\"><c r=\"A%d\"><v>%d</v></c><c r=\"B%d\"><v>1</v></c></row>'"
               "%(r,r,r,r) for r in range(1,1000001))+'</sheetData>'))" << "" << unread + ".*more than 64 MiB";
        QTest::newRow("open elsewhere") << workbook << "lock"
                                        << "^Export fail. Please close file at an other appliction!\nCannot write reg/A_1.xlsx: .*large";
        QTest::newRow("no room") << workbook << "full" << "^Export fail.\nCannot write reg/A_1.xlsx: .*large";
        QTest::newRow("no room, new file") << "import os\nif os.path.exists(p): os.remove(p)" << "full" << "^Export fail.\nCannot write reg/A_1.xlsx: .*large";
    }

    void exportFails()
    {
        QFETCH(QString, make);
        QFETCH(QString, other);
        QFETCH(QString, box);
        QVERIFY(QDir().mkpath("reg"));
        QCOMPARE(python(kPackage + make, {"reg/A_1.xlsx"}), QString());
        const auto bytes = [] {
            QFile f("reg/A_1.xlsx");
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray before = bytes();
        QFile lock("reg/.~lock.A_1.xlsx#");
        QVERIFY(other != "lock" || lock.open(QIODevice::WriteOnly));
        {
            FileSizeLimit limit(other.isEmpty() ? RLIM_INFINITY : 2048);
            QVERIFY(limit.ok);
            click("exportButton");
        }
        lock.remove();
        const QSL boxes = takeBoxes();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(QRegularExpression(box).match(boxes.first()).hasMatch(), qPrintable(boxes.first()));
        QVERIFY(bytes() == before);
    }

    // Over a workbook that spreadsheet programs wrote: LibreOffice shows the formulas computed from the written
    // cells, on the written sheet and on others (whatever the sheets' names), a shared formula whose first cell was
    // written over still in its other cells, and a cell without a reference where it was. A sheet without cell data
    // gets the cells.
    void exportOverFormulas()
    {
        QVERIFY(QDir().mkpath("reg"));
        // What LibreOffice shows of the export: `pick`, Python on sheet(name), its rows of texts.
        const auto shown = [](const QString& pick) {
            return QJsonDocument::fromJson(python(R"(import csv,json,shutil,subprocess,sys,tempfile
d=tempfile.mkdtemp()
# Every sheet, each to a file of its own (the last filter option).
subprocess.run(['soffice','-env:UserInstallation=file://'+d+'/profile','--headless','--convert-to',
  'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1','--outdir',d,sys.argv[1]],
  check=True,capture_output=True,timeout=180)
sheet=lambda s:list(csv.reader(open(d+'/A_1-%s.csv'%s,encoding='utf-8')))
out=json.dumps(eval(sys.argv[2]))
shutil.rmtree(d)
print(out))", {"reg/A_1.xlsx", pick}).toUtf8()).array();
        };
        // Stored results that no longer hold: C3 from B3 (which the export writes), B201:B250 sharing B200's formula.
        QCOMPARE(python(kPackage + R"(
n=lambda r,v:'<c r="%s"><v>%s</v></c>'%(r,v)
rows=['<row r="1">'+n('E1',1)+'</row>','<row r="2"><c r="A2"><v>1</v></c><c><v>5</v></c><c t="inlineStr"><is><t>third</t></is></c></row>',
  '<row r="3">'+n('B3',7)+'<c r="C3"><f>B3*2</f><v>14</v></c></row>',
  '<row r="200"><c r="B200"><f t="shared" ref="B200:B250" si="0">D200*10+E$1</f><v>0</v></c>'+n('D200',200)+'</row>']
rows+=['<row r="%d"><c r="B%d"><f t="shared" si="0"/><v>0</v></c>%s</row>'%(r,r,n('D%d'%r,r)) for r in range(201,251)]
pkg(ws('<sheetData>'+''.join(rows)+'</sheetData>'))
# A second sheet reading S: plainly, quoted, through a name, in a shared formula, through A1 (E1); D1 does not (its result stays).
q={k:v.decode() for k,v in ((k,zipfile.ZipFile(p).read(k)) for k in zipfile.ZipFile(p).namelist())}
q['xl/worksheets/sheet2.xml']=ws('<sheetData><row r="1"><c r="A1"><f>S!B3*10</f><v>70</v></c><c r="B1"><f>&apos;S&apos;!B3+1</f><v>6</v></c>'
  '<c r="C1"><f>Rate*2</f><v>14</v></c><c r="D1"><f>LEN(&quot;S!B3&quot;)</f><v>99</v></c><c r="E1"><f>A1+1</f><v>71</v></c></row>'
  '<row r="2"><c r="A2"><f t="shared" ref="A2:A3" si="0">S!B3*10</f><v>70</v></c></row><row r="3"><c r="A3"><f t="shared" si="0"/><v>70</v></c></row></sheetData>')
for k,e,x in (('xl/workbook.xml','</sheets>','<sheet name="Notes" sheetId="2" r:id="n"/></sheets><definedNames><definedName name="Rate">S!$B$3</definedName></definedNames>'),
  ('xl/_rels/workbook.xml.rels','</Relationships>','<Relationship Id="n" Type="%s/worksheet" Target="worksheets/sheet2.xml"/></Relationships>'%R),
  ('[Content_Types].xml','</Types>','<Override PartName="/xl/worksheets/sheet2.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/></Types>')): q[k]=q[k].replace(e,x)
with zipfile.ZipFile(p,'w') as z: [z.writestr(k,v) for k,v in q.items()])", {"reg/A_1.xlsx"}), QString());
        setCellsQuietly({m_model->item(1, 0)->text() + "=1"}); // B2 cleared, B3 = 1
        click("exportButton");
        QCOMPARE(takeBoxes(), QSL{"Completed"});
        QJsonArray shared;
        for (int r = 201; r <= 250; ++r)
            shared << QString::number(r * 10 + 1);
        const QJsonArray notes{QJsonArray{"10", "2", "2", "99", "11"}, QJsonArray{"10", "", "", "", ""},
                               QJsonArray{"0", "", "", "", ""}};
        QCOMPARE(shown("[sheet('S')[1][1:3],sheet('S')[2][2],[r[1] for r in sheet('S')[200:250]],sheet('Notes')]"),
                 (QJsonArray{QJsonArray{"", "third"}, "2", shared, notes}));

        // As LibreOffice saves it: the register sheet named in Thai, read by a sheet named 名前・一覧, which a third
        // one reads; LibreOffice writes both names unquoted.
        QCOMPARE(python(R"(import re,shutil,subprocess,sys,tempfile,zipfile,openpyxl
th,jp='\u0e02\u0e49\u0e2d\u0e21\u0e39\u0e25','\u540d\u524d\u30fb\u4e00\u89a7'
wb=openpyxl.Workbook(); ws=wb.active; ws.title=th; ws['B2']=7; ws['B3']=5
l=wb.create_sheet(jp); l['A1']="='%s'!B2*10"%th; l['B1']="='%s'!B3+1"%th
wb.create_sheet('Calc')['A1']="='%s'!A1+'%s'!B1"%(jp,jp)
wb.save(sys.argv[1]); d=tempfile.mkdtemp()
subprocess.run(['soffice','-env:UserInstallation=file://'+d+'/profile','--headless','--convert-to','xlsx','--outdir',d,sys.argv[1]],
  check=True,capture_output=True,timeout=180)
shutil.move(d+'/A_1.xlsx',sys.argv[1]); shutil.rmtree(d)
z=zipfile.ZipFile(sys.argv[1]); f=[re.findall('<f[^>]*>([^<]*)</f><v>([^<]*)</v>',z.read('xl/worksheets/sheet%d.xml'%i).decode()) for i in (2,3)]
assert f==[[(th+'!B2*10','70'),(th+'!B3+1','6')],[(jp+'!A1+'+jp+'!B1','76')]],f)", {"reg/A_1.xlsx"}), QString());
        setCellsQuietly({m_model->item(0, 0)->text() + "=1", m_model->item(1, 0)->text() + "=0"}); // B2 = 1, B3 = 0
        click("exportButton");
        QCOMPARE(takeBoxes(), QSL{"Completed"});
        QCOMPARE(shown("[sheet('\\u540d\\u524d\\u30fb\\u4e00\\u89a7'),sheet('Calc')]"),
                 (QJsonArray{QJsonArray{QJsonArray{"10", "1"}}, QJsonArray{QJsonArray{"11"}}}));

        QCOMPARE(python(kPackage + R"(pkg(ws('<sheetViews/><pageMargins left="1" right="1" top="1" bottom="1" header="0" footer="0"/>')))",
                        {"reg/A_1.xlsx"}), QString());
        click("exportButton");
        QCOMPARE(takeBoxes(), QSL{"Completed"});
        const OpenpyxlSheet sheet = readWithOpenpyxl("reg/A_1.xlsx");
        QCOMPARE(sheet.rows.value(0), (QSL{"Command", "Value"}));
        QCOMPARE(sheet.rows.size(), m_model->rowCount() + 1);
    }

    void importList_data()
    {
        QTest::addColumn<QString>("rows"); // Python list of rows
        QTest::addColumn<QSL>("written");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("failAt"); // the link fails when the device receives this write
        QTest::addColumn<bool>("libreOffice"); // the file as LibreOffice saves it again
        const QString head = "['Command','Value'],";
        // Read-only names are skipped, an empty name ends the list.
        QTest::newRow("numbers, shared strings")
            << head + "['Delay',100],['ReadFlow',5],['CalibrationGasName','He'],['EEPROMProgram',1],"
                      "['Undefined',2],['DigitalSetpoint',12.5],[None,'x'],['HoldFollow',1]"
            << QSL{"Delay=100", "CalibrationGasName=He", "DigitalSetpoint=12.5"} << "" << "" << false;
        QTest::newRow("lower-case header")
            << "['command','Value'],['Delay',1]" << QSL{} << "A unvalid register file!" << "" << false;
        QTest::newRow("unknown names, bad value")
            << head + "['Foo',1],['Delay',14],['MACAddress',5],['Bar',2]" << QSL{}
            << "Unkown commands: Foo,Bar\nRow 4: MACAddress cannot take the value 5.\nNothing imported." << "" << false;
        // Numbers go out written in full; what the file shows otherwise is refused, naming its row.
        QTest::newRow("number in full") << head + "['MFCSerialNumber',100000000],['Delay',7],['CalibrationGasName',True]"
                                        << QSL{"MFCSerialNumber=100000000", "Delay=7", "CalibrationGasName=TRUE"} << "" << "" << false;
        QTest::newRow("date, formulas without result")
            << head + "['Delay',7],['ManufacturingDate',datetime.date(2024,3,5)],['HoldFollow','=2+3'],['LowStartVavle',3],"
                      "['=\"De\"&\"lay\"','=1+1']"
            << QSL{} << "Row 3: the value of ManufacturingDate is a date or time.\nRow 4: the value of HoldFollow is a formula "
                        "without a stored result.\nRow 6: the name is a formula without a stored result.\nNothing imported." << ""
            << false;
        QTest::newRow("not confirmed") << head + "['Delay','05'],['HoldFollow',1],['LowStartVavle',3]"
                                       << QSL{"Delay=5", "HoldFollow=1"} << "Write fail\nNot confirmed by the device: "
                                          "HoldFollow,LowStartVavle\nCmd Delay error, should be: 05, read back: 5." << "HoldFollow" << false;
        // (value, number format). A format that only rounds, groups, pads, colours, gives sections for negatives or
        // zero, or names a locale shows the number, as General does in any language; it goes out with 15 digits at most.
        const QString shown = R"(['Delay',(7,'[$-804]General')],['SensorGain',(1.5,'G/通用格式')],['SensorOffset',(0.25,'0.00_ ')],)"
                              R"(['MFCSerialNumber',(123456,'#,##0')],['HighThreshold',(80,'0;[Red]0')],)"
                              R"(['LowThreshold',(5,'[$-409]0.00')],['FloatThreshold',(9,'G/標準')],['ZeroThreshold',(12,'0_ ')],)"
                              R"(['FilterConstantA1',(2.5,'#,##0.00_ ')],['ProductName',('0.30000000000000004','0.00')],)"
                              R"(['Manufacturer',('0.000012345678901234567','0.0"%"')],['Gain1',(-2.5,'0.0\\%;[Red]-0.0_%')],)"
                              R"(['CalibrationLocation',('123456789012345678','0.00E+00')],)"
                              R"(['Gain2',(3,'_(* #,##0_);_(* \\(#,##0\\);_(* "-"_);_(@_)')],)"
                              R"(['Gain4',(-1.25,'General;[Red]-General')])";
        QTest::newRow("display formats") << head + shown
                                         << QSL{"Delay=7", "SensorGain=1.5", "SensorOffset=0.25", "MFCSerialNumber=123456",
                                                "HighThreshold=80", "LowThreshold=5", "FloatThreshold=9", "ZeroThreshold=12",
                                                "FilterConstantA1=2.5", "ProductName=0.3", "Manufacturer=0.0000123456789012346",
                                                "Gain1=-2.5", "CalibrationLocation=123456789012346000", "Gain2=3",
                                                "Gain4=-1.25"}
                                         << "" << "" << false;
        const QString meant = R"(['Delay',(7,'0%')],['HoldFollow',(1,'[Red]0.0%')],['LowStartVavle',(3,'# ?/?')],)"
                              R"(['SetValveDrive',(100,'0 ??/100')],['ValveStartCurrent',(5,'mm:ss')],['MaxValvePWM',(6,'[h]')],)"
                              R"(['DigitalPot',(2,'h:mm AM/PM')],['K1',(1.5,'[$-804]yyyy"年"m"月"d"日"')],)"
                              R"(['Gain5',(-0.5,'0.00;-0.00%')],)" // shown as -50.00%
                              // Weekday names (East Asian aaa, LibreOffice's nn), week number, quarter; General as a percentage.
                              R"(['CalTabValueX1',(45000,'aaaa')],['CalTabValueX2',(45000,'AAA')],)"
                              R"(['CalTabValueX3',(45000,'[$-411]aaa')],['CalTabValueX4',(45000,'[$-804]aaaa')],)"
                              R"(['CalTabValueX5',(45000,'[$-409]WW')],['CalTabValueX6',(45000,'ww')],)"
                              R"(['CalTabValueX7',(45000,'QQ')],['CalTabValueX8',(45000,'q')],['CalTabValueX9',(45000,'NNN')],)"
                              R"(['CalTabValueX10',(0.5,'General%')])";
        QString refused = "Row 2: the value of Delay is a percentage.\nRow 3: the value of HoldFollow is a percentage.\n"
                          "Row 4: the value of LowStartVavle is a fraction.\nRow 5: the value of SetValveDrive is a fraction.\n"
                          "Row 6: the value of ValveStartCurrent is a date or time.\n"
                          "Row 7: the value of MaxValvePWM is a date or time.\n"
                          "Row 8: the value of DigitalPot is a date or time.\nRow 9: the value of K1 is a date or time.\n"
                          "Row 10: the value of Gain5 is a percentage.\n";
        for (int x = 1; x <= 9; ++x)
            refused += QString("Row %1: the value of CalTabValueX%2 is a date or time.\n").arg(x + 10).arg(x);
        refused += "Row 20: the value of CalTabValueX10 is a percentage.\nNothing imported.";
        QTest::newRow("dates, times, percentages, fractions") << head + meant << QSL{} << refused << "" << false;
        // LibreOffice writes the formats its own way: g/"通用格式", [RED], 0.0\%, yyyy\年, AAAA, dddd for NNN.
        QTest::newRow("all formats, LibreOffice") << head + meant + "," + shown << QSL{} << refused << "" << true;
    }

    void importList()
    {
        QFETCH(QString, rows);
        QFETCH(QSL, written);
        QFETCH(QString, notice);
        QFETCH(QString, failAt);
        QFETCH(bool, libreOffice);
        QObject ctx;
        connect(&m_dev, &SimDevice::requestReceived, &ctx, [&](const SimDevice::Request& r) {
            if (r.write && r.cmd == failAt)
                m_w->commands_req({makeFrame("NoSuchRegister")}); // refused: drops what is queued and in flight
        });
        const QString path = m_dir.path() + "/old.xlsx";
        // A cell given as (value, format) gets that number format; a text value is stored as the number's digits
        // unchanged (openpyxl rounds a float to 16).
        QCOMPARE(python(R"(import datetime,shutil,subprocess,sys,tempfile,openpyxl
wb=openpyxl.Workbook(); ws=wb.active
for r in eval('['+sys.argv[2]+']'):
  ws.append([c[0] if type(c) is tuple else c for c in r])
  for i,c in enumerate(r):
    if type(c) is tuple:
      x=ws.cell(ws.max_row,i+1); x.number_format=c[1]
      if type(c[0]) is str: x._value,x.data_type=c[0],'n'
wb.create_sheet('other').append(['Command','Value'])
wb.save(sys.argv[1])
if sys.argv[3]:
  d=tempfile.mkdtemp()
  subprocess.run(['soffice','-env:UserInstallation=file://'+d+'/profile','--headless','--convert-to','xlsx','--outdir',d,sys.argv[1]],
    check=True,capture_output=True,timeout=180)
  shutil.move(d+'/old.xlsx',sys.argv[1]); shutil.rmtree(d))",
                        {path, rows, libreOffice ? "1" : ""}),
                 QString());
        setCellsQuietly({});
        click("importButton");
        auto* dialog = m_page->findChild<QFileDialog*>();
        QVERIFY(dialog);
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the dialog deletes itself
        QTRY_VERIFY(m_page->isEnabled());
        QCOMPARE(field("fileNameEdit"), "old.xlsx");
        QCOMPARE(takeBoxes(), notice.isEmpty() ? QSL{} : QSL{notice});
        for (const QString& p : written)
            QCOMPARE(m_dev.value(p.section('=', 0, 0)), p.section('=', 1));
        QCOMPARE(pageRequests(m_dev), written.replaceInStrings(QRegularExpression("^(.*)=.*"), "w \\1"));
    }

    void typedRow_data()
    {
        QTest::addColumn<TypedCase>("c");
        QTest::newRow("1 then 2") << TypedCase{"12", 0, 12};
        QTest::newRow("past the last row") << TypedCase{"999", 0, 99};
        QTest::newRow("too long for an int") << TypedCase{"4294967301", 2, 42}; // wrapped, 2^32 + 5 would be row 5
        QTest::newRow("value column") << TypedCase{"5", 1, -1};
        QTest::newRow("letters") << TypedCase{"a", 0, -1};
        QTest::newRow("pause forgets") << TypedCase{"1 3", 0, 3};
    }

    void typedRow()
    {
        QFETCH(TypedCase, c);
        auto* view = static_cast<AutoScrollTableView*>(m_view); // the page's table: 199 rows
        view->setCurrentIndex(m_model->index(0, c.column));
        view->clearSelection();
        view->clearTypedRow(); // the digits of the row before
        for (const QChar k : c.keys) {
            QElapsedTimer t;
            t.start();
            if (k != ' ') {
                QTest::keyRelease(view, Qt::Key(k.isDigit() ? Qt::Key_0 + k.digitValue() : Qt::Key_A));
                continue;
            }
            QTRY_VERIFY_WITH_TIMEOUT(!view->findChild<QTimer*>()->isActive(), 5000);
            QVERIFY(t.elapsed() >= 900);
        }
        const QModelIndexList rows = view->selectionModel()->selectedRows();
        QCOMPARE(rows.size(), c.selected < 0 ? 0 : 1);
        QCOMPARE(rows.value(0).row(), c.selected);
    }

    // At its size hint the page shows all six columns side by side and 20 rows, captions and names
    // whole, in both languages at the 9 pt that desktops give (the offscreen platform picks 12 pt).
    void fitsItsWindow()
    {
        const auto restoreFont = qScopeGuard([old = QApplication::font()] { QApplication::setFont(old); });
        QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
        for (const QString& lang : QSL{"cn", "en"}) { // English last, as the settings were
            m_dir.writeIni({{QStringLiteral("lang"), lang}});
            UI_ToolsV3 page;
            const QSize hint = page.sizeHint();
            page.resize(hint);
            page.show();
            QVERIFY(QTest::qWaitForWindowExposed(&page));
            auto* view = page.findChild<QTableView*>("regTable");
            QSL clipped;
            if (hint.width() > 1240 || hint.height() > 900 || view->horizontalScrollBar()->isVisible())
                clipped << QStringLiteral("page %1 x %2").arg(hint.width()).arg(hint.height());
            if (view->viewport()->height() < 20 * view->rowHeight(0))
                clipped << "rows";
            for (QWidget* w : page.findChildren<QWidget*>())
                if ((qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)) && w->width() < w->minimumSizeHint().width())
                    clipped << w->property("text").toString();
            const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
            for (int col = 0; col < 6; ++col) {
                if (view->horizontalHeader()->sectionSizeHint(col) > view->columnWidth(col))
                    clipped << view->model()->headerData(col, Qt::Horizontal).toString();
                for (int r = 0; col == 0 && r < view->model()->rowCount(); ++r) {
                    const QString name = view->model()->index(r, 0).data().toString();
                    if (view->fontMetrics().horizontalAdvance(name) + margin > view->columnWidth(col))
                        clipped << name;
                }
            }
            QVERIFY2(clipped.isEmpty(), qPrintable(lang + ": " + clipped.join(", ")));
        }
    }

    // Text typed into either delegate's spin box counts without Enter.
    void delegatesTakeTypedText()
    {
        QStandardItemModel model(1, 2);
        SpinBoxDelegate whole;
        DoubleSpinBoxDelegate fraction(0.5, 2.0);
        QWidget parent;
        for (QStyledItemDelegate* d : QList<QStyledItemDelegate*>{&whole, &fraction}) {
            const QModelIndex index = model.index(0, d == &whole ? 0 : 1);
            auto* spin = static_cast<QAbstractSpinBox*>(d->createEditor(&parent, {}, index));
            spin->setKeyboardTracking(false); // the value follows typed text only once confirmed
            spin->selectAll();
            QTest::keyClicks(spin, d == &whole ? "42" : "1.75");
            d->setModelData(spin, &model, index);
        }
        QCOMPARE(model.index(0, 0).data().toString() + ' ' + model.index(0, 1).data().toString(), "42 1.75");
    }

    // The menu opens each engineering page beside the main window, so the live
    // flow stays in view, once a device has been found; they close with it.
    void menuOpensPagesBeside()
    {
        const QList<QWidget*> pages{topLevel<UI_ManualCalV3>(), topLevel<UI_UserCalV3>(), m_page};
        const UI_Test noDevice(QSL{"/nonexistent/ttyNone"});
        const QList<const char*> names{"ManulCalib", "UserCal", "Tools"};
        m_w->show(); // with its decorations, which the pages' frames will have too
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
        const QRect screen = m_w->screen()->availableGeometry();
        QList<QPoint> corners; // whole on the screen, none exactly on another
        for (int i = 0; i < pages.size(); ++i) {
            QVERIFY(!pages[i]->isVisible());
            QVERIFY(!noDevice.findChild<QAction*>(names[i])->isEnabled());
            QAction* entry = m_w->findChild<QAction*>(names[i]);
            entry->trigger();
            QVERIFY(pages[i]->isVisible() && pages[i]->windowTitle() == entry->text());
            QVERIFY(screen.contains(pages[i]->frameGeometry()) && !corners.contains(pages[i]->pos()));
            corners << pages[i]->pos();
        }
        pages[1]->move(screen.bottomRight() - QPoint(9, 9)); // mostly off the screen: its entry brings it back
        m_w->findChild<QAction*>(names[1])->trigger();
        QVERIFY(screen.contains(pages[1]->frameGeometry()));
        pages[2]->showMinimized(); // and a minimised one un-minimised
        m_w->findChild<QAction*>(names[2])->trigger();
        QVERIFY(pages[2]->isVisible() && !pages[2]->isMinimized());
        apptest::BoxAnswerer answer(QStringLiteral("Sure"));
        QVERIFY(m_w->close());
        for (QWidget* page : pages)
            QVERIFY(!page->isVisible());
    }
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
