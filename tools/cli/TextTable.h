#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

class QTextStream;

// A table of text, written with its columns aligned: numbers to the right, text to the left, two
// blanks between columns, the header over a rule.
class TextTable
{
public:
    enum Align { Left, Right };
    struct Column {
        QString header;
        Align align = Left;
    };

    explicit TextTable(const QVector<Column> &columns);

    // Missing cells are blank, extra ones dropped.
    void addRow(const QStringList &cells);
    int rowCount() const;
    void write(QTextStream &out, const QString &indent = QString()) const;

private:
    QVector<Column> columns;
    QVector<QStringList> rows;
};
