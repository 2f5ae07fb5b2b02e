// The table is read once from the resource into a hash; lookups never change it.
#include "localized_string.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

namespace {

QString Unescape(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const QChar next = text[++i];
        out += next == u'n' ? QChar(u'\n') : next == u't' ? QChar(u'\t') : next;
    }
    return out;
}

QHash<QString, QString> ReadTable() {
    QHash<QString, QString> table;
    QFile file(QStringLiteral(":/strings/Localizable.strings"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return table;
    static const QRegularExpression line(
        QString::fromLatin1(R"re(^\s*"((?:[^"\\]|\\.)*)"\s*=\s*"((?:[^"\\]|\\.)*)"\s*;\s*$)re"));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString &text : lines) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch()) table.insert(Unescape(match.captured(1)), Unescape(match.captured(2)));
    }
    return table;
}

const QHash<QString, QString> &Table() {
    static const QHash<QString, QString> table = ReadTable();
    return table;
}

}  // namespace

QString LocalizedString(const QString &key) { return Table().value(key, key); }

QString LocalizedString(const char *key) { return LocalizedString(QString::fromUtf8(key)); }
