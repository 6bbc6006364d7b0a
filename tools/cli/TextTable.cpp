#include "TextTable.h"

#include <QTextStream>

TextTable::TextTable(const QVector<Column> &columns)
    : columns(columns)
{
}

void TextTable::addRow(const QStringList &cells)
{
    QStringList row = cells.mid(0, columns.size());
    while (row.size() < columns.size())
        row.append(QString());
    rows.append(row);
}

int TextTable::rowCount() const
{
    return rows.size();
}

void TextTable::write(QTextStream &out, const QString &indent) const
{
    QVector<int> widths(columns.size());
    for (int c = 0; c < columns.size(); ++c) {
        widths[c] = columns.at(c).header.size();
        for (const QStringList &row : rows)
            widths[c] = qMax(widths[c], row.at(c).size());
    }
    const auto writeLine = [&](const QStringList &cells) {
        QString line = indent;
        for (int c = 0; c < columns.size(); ++c) {
            if (c > 0)
                line += QLatin1String("  ");
            const bool last = c == columns.size() - 1;
            if (columns.at(c).align == Right)
                line += cells.at(c).rightJustified(widths.at(c));
            else
                line += last ? cells.at(c) : cells.at(c).leftJustified(widths.at(c));
        }
        out << line << '\n';
    };
    QStringList headers;
    QStringList rules;
    for (int c = 0; c < columns.size(); ++c) {
        headers.append(columns.at(c).header);
        rules.append(QString(widths.at(c), QLatin1Char('-')));
    }
    writeLine(headers);
    writeLine(rules);
    for (const QStringList &row : rows)
        writeLine(row);
}
