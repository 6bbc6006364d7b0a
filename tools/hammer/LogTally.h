#pragma once

#include <QString>

// Counts the library's log messages instead of printing them (thousands a second under load),
// grouped by their text with the numbers taken out, so that the report can name the most
// frequent ones.
class LogTally
{
public:
    // Installs the message handler; with `echo` the messages are printed as well.
    static void install(bool echo);
    // "N warnings, N other messages; most frequent warnings: ..." with up to `top` of them.
    static QString summary(int top);
};
