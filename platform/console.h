#pragma once
// The program's only dialogue with the user: fixed messages and waits for a key.

// Makes sure the standard streams are usable before any file is opened.
void PrepareConsole();

// Writes a message held as GBK bytes and makes sure it is out in full before
// returning. Where standard output is not a console the bytes go out
// unchanged; a console that does not show GBK is shown the same text in its
// own character set.
void WriteConsoleMessage(const char* gbk_text);

// Prompts and returns after one key press, or at once when standard input has
// nothing more to give.
void WaitForKey();
