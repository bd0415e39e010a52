#include "programming/ParameterFile.h"

#include "app/IniFile.h"

#include <QFileInfo>

#include <functional>
#include <vector>

namespace programming {

namespace {

const QString kSection = QStringLiteral("main");

enum class TKind { Text, Check, Number };

// One key: how it is stored and which field it is.
struct TKey {
    QString name;
    TKind kind;
    std::function<QString &(TProgrammingParams &)> text = {};
    std::function<bool &(TProgrammingParams &)> check = {};
    std::function<int &(TProgrammingParams &)> number = {};
};

TKey text(const char *name, std::function<QString &(TProgrammingParams &)> f) {
    return {QString::fromLatin1(name), TKind::Text, std::move(f)};
}
TKey check(const char *name, std::function<bool &(TProgrammingParams &)> f) {
    return {QString::fromLatin1(name), TKind::Check, {}, std::move(f)};
}
TKey number(const char *name, std::function<int &(TProgrammingParams &)> f) {
    return {QString::fromLatin1(name), TKind::Number, {}, {}, std::move(f)};
}

// GroupBox13 holds whether the receiver is absent: its own kind below.
const QString kGpsKey = QStringLiteral("GroupBox13");

std::vector<TKey> simKeys(int s) {
    const auto sim = [s](TProgrammingParams &p) -> TSimSettings & { return p.sim[size_t(s)]; };
    const QByteArray n = QByteArray::number(s + 1);
    return {text(("InitStr" + n + "Edit").constData(),
                 [sim](TProgrammingParams &p) -> QString & { return sim(p).InitStr; }),
            text(("Login" + n + "Edit").constData(),
                 [sim](TProgrammingParams &p) -> QString & { return sim(p).Login; }),
            text(("Pass" + n + "Edit").constData(),
                 [sim](TProgrammingParams &p) -> QString & { return sim(p).Pass; }),
            text(("Ussd" + n + "Edit").constData(),
                 [sim](TProgrammingParams &p) -> QString & { return sim(p).Ussd; }),
            check(("cbUseBalance" + n).constData(),
                  [sim](TProgrammingParams &p) -> bool & { return sim(p).UseBalance; })};
}

const std::vector<TKey> &keys() {
    static const std::vector<TKey> all = [] {
        using P = TProgrammingParams;
        std::vector<TKey> k = {
            text("IPEdit", [](P &p) -> QString & { return p.IPEdit; }),
            text("PortEdit", [](P &p) -> QString & { return p.PortEdit; }),
            text("edDNS", [](P &p) -> QString & { return p.edDNS; }),
            check("cbUseIP", [](P &p) -> bool & { return p.cbUseIP; }),
            check("cbUseDNS", [](P &p) -> bool & { return p.cbUseDNS; }),
            check("cbRewriteIP", [](P &p) -> bool & { return p.cbRewriteIP; }),
        };
        for (int s = 0; s < 3; ++s)
            for (TKey &key : simKeys(s))
                k.push_back(std::move(key));
        k.push_back(text("IDEdit", [](P &p) -> QString & { return p.IDEdit; }));
        k.push_back(text("PrefixComboBox", [](P &p) -> QString & { return p.PrefixComboBox; }));
        k.push_back(check("UseCustomPrefix", [](P &p) -> bool & { return p.UseCustomPrefix; }));
        k.push_back(text("CustomPrefixEdit", [](P &p) -> QString & { return p.CustomPrefixEdit; }));
        for (int i = 0; i < 5; ++i) {
            const QByteArray n = QByteArray::number(i + 1);
            k.push_back(text(("PhoneNum" + n + "Edit").constData(),
                             [i](P &p) -> QString & { return p.PhoneNum[size_t(i)]; }));
            k.push_back(check(("trs" + n + "ChkBox").constData(),
                              [i](P &p) -> bool & { return p.trs[size_t(i)]; }));
        }
        k.push_back({kGpsKey, TKind::Number});
        k.push_back(text("SMSPassEdit", [](P &p) -> QString & { return p.SMSPassEdit; }));
        k.push_back(text("edAKB", [](P &p) -> QString & { return p.edAKB; }));
        k.push_back(number("tbAKB", [](P &p) -> int & { return p.tbAKB; }));
        k.push_back(number("cbTimeSr", [](P &p) -> int & { return p.cbTimeSr; }));
        k.push_back(number("cbEngTempMin", [](P &p) -> int & { return p.cbEngTempMin; }));
        k.push_back(number("cbEngTempMax", [](P &p) -> int & { return p.cbEngTempMax; }));
        k.push_back(
            check("cbCanWorkWithEngine", [](P &p) -> bool & { return p.cbCanWorkWithEngine; }));
        k.push_back(check("cbProgCanWorkWithEngine",
                          [](P &p) -> bool & { return p.cbProgCanWorkWithEngine; }));
        k.push_back(check("cbProgramParam", [](P &p) -> bool & { return p.cbProgramParam; }));
        k.push_back(check("cbProgramTime", [](P &p) -> bool & { return p.cbProgramTime; }));
        k.push_back(text("edTMAS", [](P &p) -> QString & { return p.edTMAS; }));
        k.push_back(number("tbTMAS", [](P &p) -> int & { return p.tbTMAS; }));
        k.push_back(text("edTMASmin", [](P &p) -> QString & { return p.edTMASmin; }));
        k.push_back(text("edTMASmax", [](P &p) -> QString & { return p.edTMASmax; }));
        k.push_back(number("seDay", [](P &p) -> int & { return p.seDay; }));
        k.push_back(number("seMonth", [](P &p) -> int & { return p.seMonth; }));
        k.push_back(number("seYear", [](P &p) -> int & { return p.seYear; }));
        k.push_back(number("seHour", [](P &p) -> int & { return p.seHour; }));
        k.push_back(number("seMin", [](P &p) -> int & { return p.seMin; }));
        k.push_back(check("cbTakeSysTime", [](P &p) -> bool & { return p.cbTakeSysTime; }));
        return k;
    }();
    return all;
}

} // namespace

QString PpcFilter() {
    return QStringLiteral("Параметры программирования (*.ppc)|*.ppc");
}

QString PpcExtension() {
    return QStringLiteral("ppc");
}

QStringList PpcKeys() {
    QStringList l;
    for (const TKey &k : keys())
        l << k.name;
    return l;
}

std::vector<std::pair<QString, QString>> PpcValues(const TProgrammingParams &params) {
    TProgrammingParams p = params;
    std::vector<std::pair<QString, QString>> values;
    for (const TKey &k : keys()) {
        QString v;
        if (k.name == kGpsKey)
            v = p.gpsPresent ? QStringLiteral("0") : QStringLiteral("1");
        else if (k.kind == TKind::Text)
            v = k.text(p);
        else if (k.kind == TKind::Check)
            v = k.check(p) ? QStringLiteral("1") : QStringLiteral("0");
        else
            v = QString::number(k.number(p));
        values.emplace_back(k.name, v);
    }
    return values;
}

void SavePpc(const TProgrammingParams &params, const QString &fileName) {
    TIniFile ini(fileName);
    for (const auto &[key, value] : PpcValues(params))
        ini.writeString(kSection, key, value);
    try {
        ini.save();
    } catch (const std::exception &e) {
        throw EProgrammingError(QString::fromUtf8(e.what()));
    }
}

TProgrammingParams LoadPpc(const QString &fileName, const TProgrammingParams &base) {
    TIniFile ini(fileName);
    try {
        if (!QFileInfo(fileName).isFile() || !ini.load())
            throw EProgrammingError(QStringLiteral("Файл не найден: ") + fileName);
    } catch (const EProgrammingError &) {
        throw;
    } catch (const std::exception &e) {
        throw EProgrammingError(QString::fromUtf8(e.what()));
    }
    TProgrammingParams p = base;
    for (const TKey &k : keys()) {
        if (k.name == kGpsKey) {
            p.gpsPresent = ini.readInteger(kSection, k.name, 0) == 0;
            continue;
        }
        switch (k.kind) {
        case TKind::Text:
            k.text(p) = ini.readString(kSection, k.name, QString());
            break;
        case TKind::Check:
            // As a boolean read does: any number but 0 is checked, and so is a missing key.
            k.check(p) = ini.readInteger(kSection, k.name, 1) != 0;
            break;
        case TKind::Number:
            k.number(p) = ini.readInteger(kSection, k.name, 0);
            break;
        }
    }
    p.cbProgCanWorkWithEngine = true;
    return p;
}

} // namespace programming
