// The programming window bound to its session: fields both ways, the track bars' texts, the
// system-time switch, the pick lists that take no typing, and a read-back from the simulator's
// device. With ZARNEX_SCREENSHOT_DIR set, both pages after the read-back are saved there.

#include "ui/ProgrammingForm.h"
#include "app/Options.h"
#include "common/ScriptedDialogs.h"
#include "link/ClientSock.h"
#include "link/SimProcess.h"
#include "session/ProgrammingPart.h"
#include "session/ServerMessages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

void screenshot(QWidget &w, const QString &name) {
    const QString dir = qEnvironmentVariable("ZARNEX_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    w.grab().save(dir + "/" + name + ".png");
}

struct ProgrammingWindow : ::testing::Test {
    TScriptedDialogs dialogs;
    TOptions options;
    TServerController server{options, dialogs};
    TProgrammingPart part{dialogs, server};
};

} // namespace

TEST_F(ProgrammingWindow, ShowsTheSessionsFieldsAndHandsEditsBack) {
    TfmProgramming w(part, 2001);
    EXPECT_EQ(w.windowTitle(), "Программирование объектового оборудования");
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(part.objectNumber(), 2001);
    EXPECT_EQ(w.ui.object->text(), "Объект № 2001");
    // The defaults.
    EXPECT_EQ(w.ui.IPEdit->text(), "000.000.000.000");
    EXPECT_EQ(w.ui.PhoneNumEdit[4]->text(), "9000000000");
    EXPECT_EQ(w.ui.SMSPassEdit->text(), "7QX4K2M9");
    EXPECT_TRUE(w.ui.GPSRadioButton->isChecked());
    EXPECT_EQ(w.ui.edAKB->text(), "22,7");
    EXPECT_EQ(w.ui.tbAKB->value(), 227);
    EXPECT_EQ(w.ui.edTMAS->text(), "30");
    EXPECT_EQ(w.ui.cbTimeSr->currentText(), "14");
    EXPECT_EQ(w.ui.cbEngTempMin->currentText(), "50");
    EXPECT_EQ(w.ui.cbEngTempMax->currentText(), "64");
    EXPECT_EQ(w.ui.cbRecalcCoof->currentText(), "0,5");
    EXPECT_TRUE(w.ui.cbTakeSysTime->isChecked());
    EXPECT_FALSE(w.ui.seHour->isEnabled() || w.ui.seMin->isEnabled());

    // Edits reach the session.
    QTest::keyClicks(w.ui.sim[1].LoginEdit, "mts");
    EXPECT_EQ(part.params().sim[1].Login, "mts");
    w.ui.trsChkBox[2]->click();
    EXPECT_TRUE(part.params().trs[2]);
    w.ui.IntClkRadioButton->click();
    EXPECT_FALSE(part.params().gpsPresent);
    w.ui.tbAKB->setValue(300);
    EXPECT_EQ(part.params().edAKB, "30");
    EXPECT_EQ(w.ui.edAKB->text(), "30");
    w.ui.tbTMAS->setValue(0);
    EXPECT_EQ(w.ui.edTMAS->text(), "-50");

    // "Брать системное время" off: the hour and minute can be set.
    w.ui.cbTakeSysTime->click();
    EXPECT_FALSE(part.tmrSysTime.isActive());
    EXPECT_TRUE(w.ui.seHour->isEnabled() && w.ui.seMin->isEnabled());
    w.ui.seHour->setValue(7);
    EXPECT_EQ(part.params().seHour, 7);

    // The pick lists ignore typing but still move with the arrow keys.
    QTest::keyClick(w.ui.cbEngTempMin, Qt::Key_8);
    EXPECT_EQ(w.ui.cbEngTempMin->currentIndex(), 5);
    QTest::keyClick(w.ui.cbEngTempMin, Qt::Key_Down);
    EXPECT_EQ(part.params().cbEngTempMin, 6);

    // A report shows its own texts: the track bar's move does not rewrite them.
    QByteArray form1(9, '\0');
    form1[0] = char(0xDF);
    form1[5] = 31;
    form1[6] = 25; // 36.00 V
    part.ProcessProgrammedPparameters1(form1);
    EXPECT_EQ(w.ui.edAKB->text(), "36,00");
    EXPECT_EQ(w.ui.tbAKB->value(), 360);
    EXPECT_EQ(w.ui.edTMASmin->text(), "-50,00");
    EXPECT_EQ(w.ui.mmLog->toPlainText().split('\n').size(), 9);
    QApplication::processEvents();
    EXPECT_EQ(dialogs.messages(), QStringList{"Блок данных с платы №1 принят успешно"});

    // "Сброс", then "Запомнить" with a shown value below the lower one.
    w.ui.btnReset->click();
    EXPECT_TRUE(w.ui.edTMASmin->text().isEmpty());
    w.ui.tbTMAS->setValue(900);
    w.ui.btnRemember->click();
    EXPECT_EQ(w.ui.edTMASmin->text(), "40");
    w.ui.tbTMAS->setValue(850);
    w.ui.btnRemember->click();
    QApplication::processEvents();
    EXPECT_EQ(dialogs.messages().last(), "Неверный диапазон температур.");
    EXPECT_TRUE(w.ui.edTMASmax->text().isEmpty());
}

TEST_F(ProgrammingWindow, ShowsTheDevicesReadBack) {
    TSimProcess sim({"--keepalive", "0", "--packet-interval", "60"});
    ASSERT_TRUE(sim.ok());
    options.AppServer = "127.0.0.1";
    options.AppPort = sim.port().toInt();
    options.AppLogin = options.AppPass = "demo";
    TClientThread client([this] { server.ClientDataIn(); }, [this] { server.ClientStateChanged(); },
                         dialogs);
    server.setClient(&client);
    server.miConnectToServerClick();
    ASSERT_TRUE(waitUntil([&] { return client.getState() == 2; }, 10000));

    TfmProgramming w(part, 2001);
    w.resize(w.sizeHint());
    w.show();
    // Write the connection blocks and the equipment packet from the window, then read them
    // back into a window reset to its defaults.
    w.ui.IPEdit->setText("192.168.010.020");
    w.ui.PortEdit->setText("07788");
    w.ui.sim[0].LoginEdit->setText("internet");
    w.ui.sim[0].InitStrEdit->setText("AT+CGDCONT=1,\"IP\"");
    w.ui.sim[0].UssdEdit->setText("*100#");
    w.ui.sim[1].cbUseBalance->click();
    w.ui.edDNS->setText("gw.zarnex.ru");
    w.ui.PhoneNumEdit[0]->setText("9161234567");
    w.ui.trsChkBox[0]->click();
    w.ui.cbUseIP->click();
    w.ui.tbAKB->setValue(245);
    w.ui.btnReset->click();
    w.ui.tbTMAS->setValue(900);
    w.ui.btnRemember->click(); // the lower threshold: 40
    w.ui.tbTMAS->setValue(1100);
    w.ui.btnRemember->click(); // the upper one: 60
    w.ui.cbTimeSr->setCurrentIndex(8);
    w.ui.cbUseHeater2->click();
    w.ui.btnProgram->click();
    ASSERT_TRUE(waitUntil([&] { return dialogs.messages().size() == 1; }, 10000));
    w.ui.btnProgramEquip->click();
    ASSERT_TRUE(waitUntil([&] { return dialogs.messages().size() == 2; }, 10000));
    EXPECT_EQ(dialogs.messages(),
              (QStringList{"Прибор успешно запрограммирован!",
                           "Успешно запрограммированны обе группы параметров."}));
    TProgrammingParams fresh;
    programming::ApplyDefaults(fresh);
    part.setParams(fresh);
    EXPECT_EQ(w.ui.IPEdit->text(), "000.000.000.000");

    w.ui.btnRequest3->click();
    ASSERT_TRUE(waitUntil([&] { return dialogs.messages().size() == 3; }, 10000));
    w.ui.btnRequest1->click();
    ASSERT_TRUE(waitUntil([&] { return dialogs.messages().size() == 4; }, 10000));
    EXPECT_EQ(dialogs.messages().mid(2), (QStringList{"Все блоки данных приняты успешно (плата №3)",
                                                      "Блок данных с платы №1 принят успешно"}));
    EXPECT_EQ(w.ui.IPEdit->text(), "192.168.010.020");
    EXPECT_EQ(w.ui.sim[0].LoginEdit->text(), "internet");
    EXPECT_EQ(w.ui.sim[0].InitStrEdit->text(), "AT+CGDCONT=1,\"IP\"");
    EXPECT_FALSE(w.ui.sim[1].cbUseBalance->isChecked());
    EXPECT_EQ(w.ui.edDNS->text(), "gw.zarnex.ru");
    EXPECT_EQ(w.ui.PhoneNumEdit[0]->text(), "9161234567");
    EXPECT_TRUE(w.ui.trsChkBox[0]->isChecked() && w.ui.cbUseIP->isChecked());
    EXPECT_EQ(w.ui.cbTimeSr->currentText(), "22");
    EXPECT_TRUE(w.ui.cbUseHeater2->isChecked());
    EXPECT_EQ(w.ui.edAKB->text(), "24,50");
    EXPECT_EQ(w.ui.edTMASmin->text(), "40,06");
    EXPECT_EQ(w.ui.edTMASmax->text(), "60,02");
    EXPECT_EQ(w.ui.edTMAS->text(), "60,02");
    EXPECT_FALSE(w.ui.mmLog->toPlainText().isEmpty());

    part.tmrSysTimeTimer(); // the clock's time, as a second's tick shows it
    w.ui.pages->setCurrentIndex(0);
    QApplication::processEvents();
    screenshot(w, "TfmProgramming-connection");
    w.ui.pages->setCurrentIndex(1);
    QApplication::processEvents();
    screenshot(w, "TfmProgramming-equipment");
    server.DisconnectFromServer();
    client.Terminate();
}
