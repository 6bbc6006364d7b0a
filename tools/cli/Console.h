#pragma once

#include <QString>
#include <QTextStream>

// Standard output for results, standard error for messages and progress. Text is written as
// UTF-8 whatever the locale says (tag names hold non-ASCII letters).
class Console
{
public:
    Console();
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    // The library and Qt log their progress and warnings through the Qt message logger. Hidden,
    // only critical and fatal messages reach standard error.
    static void showLogMessages(bool shown);

    QTextStream &out();
    // "lydevice: <message>" on standard error.
    void error(const QString &message);
    // Text as it is, on standard error.
    void errorText(const QString &text);

    // Progress is shown only when standard error is a terminal; it is one line, rewritten.
    bool showsProgress() const;
    void progress(const QString &line);
    void clearProgress();

private:
    QTextStream output;
    QTextStream errors;
    bool terminal = false;
    bool progressShown = false;
};
