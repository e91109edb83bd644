// The texts of the views, the shell and the assistant speak of a Linux
// desktop: every string literal that reads as words (it holds a blank) is
// looked through for Mac places, devices and keys.
#include "MacWords.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

namespace tovan {
namespace {

// The string literals of C++ source text, comments left out; raw strings
// and escapes are taken as written (an escape never hides a word).
QStringList literals(const QString& code) {
    QStringList out;
    const qsizetype n = code.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = code[i];
        if (c == '/' && i + 1 < n && code[i + 1] == '/') {
            i = code.indexOf('\n', i);
            if (i < 0) break;
        } else if (c == '/' && i + 1 < n && code[i + 1] == '*') {
            i = code.indexOf(QStringLiteral("*/"), i + 2);
            if (i < 0) break;
            i += 2;
        } else if (c == '\'') {
            // A character literal, or a digit separator inside a number.
            const qsizetype end = code.indexOf('\'', i + 1 + (i + 1 < n && code[i + 1] == '\\' ? 2 : 0));
            i = end < 0 || end - i > 12 ? i + 1 : end + 1;
        } else if (c == 'R' && i + 1 < n && code[i + 1] == '"') {
            const qsizetype open = code.indexOf('(', i + 2);
            const QString close = ")" + code.mid(i + 2, open - i - 2) + "\"";
            const qsizetype end = code.indexOf(close, open);
            if (open < 0 || end < 0) break;
            out << code.mid(open + 1, end - open - 1);
            i = end + close.size();
        } else if (c == '"') {
            QString s;
            qsizetype j = i + 1;
            for (; j < n && code[j] != '"'; ++j) {
                if (code[j] == '\\' && j + 1 < n) s += code[j++];
                s += code[j];
            }
            out << s;
            i = j + 1;
        } else {
            ++i;
        }
    }
    return out;
}

TEST(Wording, LiteralsAreFoundOutsideComments) {
    const QString code = QStringLiteral(
        "// \"in a comment\"\n"
        "/* \"also\" */ auto a = tr(\"Read on this computer\"); char q = '\"'; int big = 1'000'000;\n"
        "auto b = u\"with \\\"quotes\\\" inside\"; auto r = R\"x(raw \"text\")x\";\n");
    EXPECT_EQ(literals(code), (QStringList{"Read on this computer", "with \\\"quotes\\\" inside", "raw \"text\""}));
}

TEST(Wording, MacWordsAreFoundAndLinuxOnesPass) {
    struct Case {
        const char* text;
        const char* found;
    };
    const Case cases[] = {
        {"Hear text from any app on this Mac", "Mac"},
        {"Or use AirPods and Control Center", "AirPods"},
        {"Needs Full Disk Access", "Full Disk Access"},
        {"In a Focus", "Focus"},
        {"Reading speed (\u2318[ and \u2318])", "\u2318"},
        {"Hear text from any app on this computer", ""},
        {"the desktop's do not disturb", ""},
        {"Machine state", ""},
    };
    for (const Case& c : cases) {
        const QStringList found = test::macWords(QString::fromUtf8(c.text));
        EXPECT_EQ(found.isEmpty() ? QString() : found.first(), QString::fromUtf8(c.found)) << c.text;
    }
}

TEST(Wording, ViewsShellAndAssistantSpeakOfLinux) {
    const QDir root(QStringLiteral(TOVAN_SOURCE_DIR));
    int files = 0;
    QStringList faults;
    for (const char* folder : {"app/views", "app/shell", "app/assistant"}) {
        QDirIterator it(root.filePath(QString::fromLatin1(folder)), {"*.cpp", "*.h"}, QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
            ++files;
            for (const QString& text : literals(QString::fromUtf8(f.readAll()))) {
                if (!text.contains(' ')) continue;  // identifiers, keys, file names
                if (const QStringList found = test::macWords(text); !found.isEmpty())
                    faults << root.relativeFilePath(path) + ": \"" + text + "\" (" + found.join(", ") + ")";
            }
        }
    }
    EXPECT_GT(files, 50);
    EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
}

}  // namespace
}  // namespace tovan
