#pragma once

#include <string>

// The programs' texts in the user's language. The texts in the sources are the message ids of the
// gettext domain "olstrin", most of them the design's Chinese; Tr looks a text up in the catalog
// of the chosen language (the Chinese one holds only the ids that are English) and returns it
// unchanged before InitTranslation or when the catalog or the entry is missing. So a Chinese id
// is printed exactly as the sources' bytes in Chinese.

// Marks a text for the catalog where it is defined (a table, a constant); Tr translates it where
// it is used.
#define N_(text) text

namespace platform {

enum class Language { Chinese, English };

// The language the environment asks for, from the values of LANGUAGE, LC_ALL, LC_MESSAGES and
// LANG (null or empty when unset). The locale is the first non-empty of LC_ALL, LC_MESSAGES,
// LANG: a C or POSIX locale (C.UTF-8 included) or none gives Chinese whatever LANGUAGE says, as
// gettext itself ignores LANGUAGE under C, so scripts that parse the log keep working. Else the
// first entry of LANGUAGE, when set, decides, else the locale: zh* gives Chinese, anything else
// English.
Language LanguageFromEnvironment(const char* language, const char* lcAll, const char* lcMessages,
                                 const char* lang);

// The value of a --lang option: "zh" or "en". False for anything else.
bool ParseLanguage(const std::string& text, Language& language);

// Chooses the language (option: "zh", "en", or empty to follow the environment) and binds the
// catalogs: appDir/../share/locale when it holds the English catalog (the build tree and a
// relocated install), else the installed locale folder. English works even where only C.UTF-8 is
// generated: LANGUAGE is set to "en" and LC_MESSAGES, when the user's locale is missing or C, to
// C.UTF-8. LC_NUMERIC is set to C: numbers are never formatted the locale's way. Call at start,
// before other threads exist, and in a Qt program after QApplication is made (it sets every
// category from the environment). An option that is neither "zh" nor "en" follows the
// environment.
void InitTranslation(const std::string& appDir, const std::string& option);

// The language InitTranslation chose; Chinese before it is called.
Language CurrentLanguage();

// The text of msgid in the chosen language, valid for the program's lifetime. Any thread.
const char* Tr(const char* msgid) __attribute__((format_arg(1)));

// printf into a std::string of any length.
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
