#include "app/DateUtils.h"
#include "webmap/WebMapScript.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Names a user can type into the registry, and worse.
const QStringList &nastyNames() {
    static const QStringList names = {
        QStringLiteral("Тепловоз \"Ураган\""),
        QStringLiteral("O'Brien"),
        QStringLiteral("back\\slash\\"),
        QStringLiteral("two\r\nlines\nand\ttab"),
        QStringLiteral("\");alert(1);//"),
        QStringLiteral("</script><b>x</b>"),
        QStringLiteral("${x}`tpl`"),
        QString(QChar(0x2028)) + QStringLiteral("ls") + QChar(0x2029),
        QStringLiteral("nul") + QChar(0) + QStringLiteral("\x01\x1f\x7f"),
        QStringLiteral("emoji 🚂"),
        QString(),
    };
    return names;
}

TEST(WebMapScript, StringLiteralsReadBackAsTheSameText) {
    for (const QString &name : nastyNames()) {
        const QString lit = webscript::jsonString(name);
        // No raw line break of any kind may survive inside a script literal.
        for (QChar c : {QChar('\n'), QChar('\r'), QChar(0x2028), QChar(0x2029), QChar(0)})
            EXPECT_FALSE(lit.contains(c)) << name.toStdString();
        QJsonParseError err{};
        const QJsonDocument doc =
            QJsonDocument::fromJson((QLatin1Char('[') + lit + QLatin1Char(']')).toUtf8(), &err);
        ASSERT_EQ(err.error, QJsonParseError::NoError) << lit.toStdString();
        EXPECT_EQ(doc.array().at(0).toString(), name) << lit.toStdString();
    }
    // An unpaired surrogate is written as an escape, not as a broken character.
    EXPECT_EQ(webscript::jsonString(QString(QChar(0xD800))), QStringLiteral("\"\\ud800\""));
}

TEST(WebMapScript, NumbersUseAPointAndMustBeFinite) {
    const struct {
        double v;
        const char *text;
    } cases[] = {
        {51.690754, "51.690754"}, {39.269037, "39.269037"},
        {-0.5, "-0.5"},           {-0.0, "0"},
        {1e-7, "1e-07"},          {180, "180"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(webscript::jsonNumber(c.v), QLatin1String(c.text)) << c.v;
    const double bad[] = {std::nan(""), std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
    for (double v : bad) {
        EXPECT_TRUE(webscript::jsonNumber(v).isEmpty());
        EXPECT_TRUE(webscript::marker_at(v, 39.0, 1, QStringLiteral("a"), QString()).isEmpty());
        EXPECT_TRUE(webscript::go_to(51.0, v).isEmpty());
    }
    EXPECT_EQ(webscript::go_to(51.5, 39.25),
              QStringLiteral("(function(){var f=window[\"go_to\"];if(typeof f==='function')"
                             "f.call(window,51.5,39.25);})();"));
    // The marker's colour is a sixth argument only when there is one.
    EXPECT_EQ(webscript::marker_at(1, 2, 3, QStringLiteral("a"), QStringLiteral("b"),
                                   webscript::colourText(QColor(255, 0, 16))),
              QStringLiteral("(function(){var f=window[\"marker_at\"];if(typeof f==='function')"
                             "f.call(window,1,2,3,\"a\",\"b\",\"#ff0010\");})();"));
    EXPECT_TRUE(webscript::colourText(QColor()).isEmpty());
}

TEST(WebMapScript, CaptionAndSpeedTexts) {
    const TDateTime ts = dt::encode(2024, 3, 7, 9, 5, 1, 0);
    EXPECT_EQ(webscript::markerCaption(ts), QStringLiteral("Данные от: 07.03.24 09:05:01"));
    const struct {
        double kmh;
        const char *text;
    } cases[] = {{0, "0 км/ч"}, {12.5, "13 км/ч"}, {99.4, "99 км/ч"}, {120.0, "120 км/ч"}};
    for (const auto &c : cases)
        EXPECT_EQ(webscript::speedText(c.kmh), QString::fromUtf8(c.text)) << c.kmh;
    EXPECT_EQ(webscript::speedText(std::numeric_limits<double>::infinity()),
              QStringLiteral("INF км/ч"));
}

// Runs the built calls in a real script engine: each page function records what it received.
TEST(WebMapScript, CallsReachThePageWithExactArguments) {
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (node.isEmpty())
        GTEST_SKIP() << "no script engine (node) here";
    QStringList calls;
    for (const QString &name : nastyNames())
        calls << webscript::marker_at(51.690754, 39.269037, 7, name, name);
    calls << webscript::put_point_ex(1.5, 2.5, QStringLiteral("12"), QStringLiteral("a\"b"),
                                     webscript::speedText(3));
    calls << webscript::add_park(1, 2, QStringLiteral("с 10:00<br>до 11:00"));
    calls << webscript::markers_clear();
    calls << webscript::call(QStringLiteral("no_such_function"), {1.0});
    calls << webscript::cleanup_current_track();

    QString js = QStringLiteral(
        "var window = globalThis; var got = [];\n"
        "['marker_at','put_point_ex','add_park','markers_clear','cleanup_current_track']"
        ".forEach(function(n){ window[n] = function(){ got.push([n].concat("
        "Array.prototype.slice.call(arguments).map(function(a){ return [typeof a, a]; }))); }; "
        "});\n");
    for (const QString &c : calls)
        js += c + QLatin1Char('\n');
    js += QStringLiteral("process.stdout.write(JSON.stringify(got));\n");

    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("calls.js")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(js.toUtf8());
    f.close();
    QProcess p;
    p.start(node, {f.fileName()});
    ASSERT_TRUE(p.waitForFinished(20000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QJsonArray got = QJsonDocument::fromJson(p.readAllStandardOutput()).array();

    ASSERT_EQ(got.size(), nastyNames().size() + 4);
    for (int i = 0; i < nastyNames().size(); ++i) {
        const QJsonArray c = got.at(i).toArray();
        ASSERT_EQ(c.size(), 6);
        EXPECT_EQ(c.at(0).toString(), QStringLiteral("marker_at"));
        EXPECT_EQ(c.at(1).toArray().at(0).toString(), QStringLiteral("number"));
        EXPECT_DOUBLE_EQ(c.at(1).toArray().at(1).toDouble(), 51.690754);
        EXPECT_DOUBLE_EQ(c.at(2).toArray().at(1).toDouble(), 39.269037);
        EXPECT_EQ(c.at(3).toArray().at(1).toInt(), 7);
        EXPECT_EQ(c.at(4).toArray().at(0).toString(), QStringLiteral("string"));
        EXPECT_EQ(c.at(4).toArray().at(1).toString(), nastyNames().at(i));
        EXPECT_EQ(c.at(5).toArray().at(1).toString(), nastyNames().at(i));
    }
    const QJsonArray pt = got.at(nastyNames().size()).toArray();
    EXPECT_EQ(pt.at(3).toArray().at(0).toString(), QStringLiteral("string")); // number as text
    EXPECT_EQ(pt.at(3).toArray().at(1).toString(), QStringLiteral("12"));
    EXPECT_EQ(pt.at(4).toArray().at(1).toString(), QStringLiteral("a\"b"));
    EXPECT_EQ(pt.at(5).toArray().at(1).toString(), QStringLiteral("3 км/ч"));
    EXPECT_EQ(got.at(nastyNames().size() + 1).toArray().at(3).toArray().at(1).toString(),
              QStringLiteral("с 10:00<br>до 11:00"));
    // The missing function had no effect and did not stop the next calls.
    EXPECT_EQ(got.at(nastyNames().size() + 3).toArray().at(0).toString(),
              QStringLiteral("cleanup_current_track"));
}

} // namespace
