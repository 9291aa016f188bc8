#include "platform/Translate.h"

#include <libintl.h>
#include <sys/stat.h>

#include <atomic>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef OLSTRIN_LOCALE_DIR
#define OLSTRIN_LOCALE_DIR "/usr/share/locale"
#endif

namespace platform {

namespace {

constexpr const char* kDomain = "olstrin";

std::atomic<bool> g_english{false};
// Set once a language is chosen; before that, and under a C locale, every text is its id.
std::atomic<bool> g_catalog{false};

bool Empty(const char* value) {
    return value == nullptr || *value == '\0';
}

bool IsCLocale(const char* locale) {
    return Empty(locale) || std::strcmp(locale, "C") == 0 || std::strncmp(locale, "C.", 2) == 0 ||
           std::strcmp(locale, "POSIX") == 0;
}

Language FromName(const char* name) {
    return std::strncmp(name, "zh", 2) == 0 ? Language::Chinese : Language::English;
}

// The folder holding en/LC_MESSAGES/olstrin.mo: beside the executable's prefix, else installed.
std::string LocaleDir(const std::string& appDir) {
    const std::string local = appDir + "../share/locale";
    struct stat st {};
    const std::string catalog = local + "/en/LC_MESSAGES/" + kDomain + ".mo";
    return ::stat(catalog.c_str(), &st) == 0 ? local : OLSTRIN_LOCALE_DIR;
}

// gettext takes its catalog list from LANGUAGE only when LC_MESSAGES is not the C locale; a
// missing locale leaves C, so C.UTF-8 (always present in glibc) stands in. The Chinese catalog
// holds only the texts whose ids are English; every other id is its own Chinese text.
void SelectCatalog(Language language) {
    ::setenv("LANGUAGE", language == Language::English ? "en" : "zh", 1);
    const char* messages = std::setlocale(LC_MESSAGES, "");
    if (messages == nullptr || std::strcmp(messages, "C") == 0 ||
        std::strcmp(messages, "POSIX") == 0) {
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    }
}

// The locale gettext follows: the first non-empty of LC_ALL, LC_MESSAGES, LANG.
const char* LocaleFromEnvironment(const char* lcAll, const char* lcMessages, const char* lang) {
    return !Empty(lcAll) ? lcAll : !Empty(lcMessages) ? lcMessages : lang;
}

}  // namespace

Language LanguageFromEnvironment(const char* language, const char* lcAll, const char* lcMessages,
                                 const char* lang) {
    const char* locale = LocaleFromEnvironment(lcAll, lcMessages, lang);
    if (IsCLocale(locale)) return Language::Chinese;
    return FromName(Empty(language) ? locale : language);
}

bool ParseLanguage(const std::string& text, Language& language) {
    if (text != "zh" && text != "en") return false;
    language = text == "zh" ? Language::Chinese : Language::English;
    return true;
}

void InitTranslation(const std::string& appDir, const std::string& option) {
    Language language = Language::Chinese;
    // No --lang and a C or POSIX locale choose nothing: every text is its id, the design's Chinese
    // and the English of our own messages, as scripts and tools under C expect.
    bool chosen = ParseLanguage(option, language);
    if (!chosen) {
        const char* lcAll = std::getenv("LC_ALL");
        const char* lcMessages = std::getenv("LC_MESSAGES");
        const char* lang = std::getenv("LANG");
        language = LanguageFromEnvironment(std::getenv("LANGUAGE"), lcAll, lcMessages, lang);
        chosen = !IsCLocale(LocaleFromEnvironment(lcAll, lcMessages, lang));
    }
    // A Qt program has taken every category from the environment; numbers keep the C form
    // ("5.00V") in every language.
    std::setlocale(LC_NUMERIC, "C");
    ::bindtextdomain(kDomain, LocaleDir(appDir).c_str());
    ::bind_textdomain_codeset(kDomain, "UTF-8");
    if (chosen) SelectCatalog(language);
    g_english.store(language == Language::English, std::memory_order_release);
    g_catalog.store(chosen, std::memory_order_release);
}

Language CurrentLanguage() {
    return g_english.load(std::memory_order_acquire) ? Language::English : Language::Chinese;
}

const char* Tr(const char* msgid) {
    // An empty id would return the catalog's header.
    if (!g_catalog.load(std::memory_order_acquire) || *msgid == '\0') return msgid;
    return ::dgettext(kDomain, msgid);
}

std::string Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0U, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

}  // namespace platform
