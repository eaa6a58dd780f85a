// The two login dialogs and the settings file.
#pragma once

enum class LoginDialogKind {
    Nick,           // "Bitte gib deinen (Nick-)Namen hier ein:"
    ServerAddress,  // "IP-Adresse des kobal-Servers:"
};

// Shows the dialog modally. Returns a heap text (malloc, at most 15 characters,
// NUL-terminated, owned and freed by the caller), or null when the dialog was
// closed without OK. OK on an empty field returns an empty text.
char* runLoginDialog(LoginDialogKind kind);

// Writes the settings file from nickName, nickLength, serverAddress and
// addressDefaulted. Silently does nothing when the file cannot be written.
void saveSettings();
