#include "subject_phrases.h"

#include "message_headers.h"

namespace platform::smtp {
namespace {

// Outlook and Exchange (on-premises and online) localise "Automatic reply:" and the
// older "Out of Office:" into the mailbox's language; the other responders write
// the English forms or the Sieve default "Auto:" (RFC 5230 4.5). Sources: the
// localized subjects in public captured replies and the responders' documentation.
// clang-format off
constexpr Phrase kOutOfOfficePrefixes[] = {
    {"en", "Automatic reply"},          {"en", "Out of Office AutoReply"}, {"en", "Out of Office"},
    {"en", "Out of the Office"},        {"en", "Auto Reply"},              {"en", "Auto-Reply"},
    {"en", "AutoReply"},                {"en", "Auto Response"},           {"en", "Autoresponse"},
    {"en", "Auto"},                     {"en", "Vacation"},                {"en", "On vacation"},
    {"en", "Away"},                     {"en", "Vacation reply"},          {"en", "Away from the office"},
    {"de", "Automatische Antwort"},     {"de", "Abwesenheitsnotiz"},       {"de", "Abwesend"},
    {"de", "Automatische Abwesenheitsnotiz"},
    {"fr", "Réponse automatique"},      {"fr", "Absence du bureau"},       {"fr", "Absent du bureau"},
    {"es", "Respuesta automática"},     {"es", "Fuera de la oficina"},     {"it", "Risposta automatica"},
    {"it", "Fuori sede"},               {"it", "Fuori ufficio"},           {"pt", "Resposta automática"},
    {"pt", "Ausência temporária"},      {"pt", "Fora do escritório"},      {"nl", "Automatisch antwoord"},
    {"nl", "Afwezig"},                  {"pl", "Automatyczna odpowiedź"},  {"pl", "Odpowiedź automatyczna"},
    {"cs", "Automatická odpověď"},      {"sk", "Automatická odpoveď"},     {"hu", "Automatikus válasz"},
    {"ro", "Răspuns automat"},          {"sv", "Automatiskt svar"},        {"sv", "Autosvar"},
    {"da", "Automatisk svar"},          {"nb", "Automatisk svar"},         {"fi", "Automaattinen vastaus"},
    {"et", "Automaatvastus"},           {"lv", "Automātiskā atbilde"},     {"lt", "Automatinis atsakymas"},
    {"sl", "Samodejni odgovor"},        {"hr", "Automatski odgovor"},      {"sr", "Automatski odgovor"},
    {"sr", "Аутоматски одговор"},       {"bg", "Автоматичен отговор"},     {"ru", "Автоматический ответ"},
    {"ru", "Автоответ"},                {"uk", "Автоматична відповідь"},   {"el", "Αυτόματη απάντηση"},
    {"tr", "Otomatik yanıt"},           {"tr", "Otomatik cevap"},          {"ja", "自動応答"},
    {"ja", "自動返信"},                 {"zh", "自动答复"},                {"zh", "自动回复"},
    {"zh", "自動回覆"},                 {"zh", "自動答覆"},                {"ko", "자동 회신"},
    {"ko", "자동 응답"},                {"ar", "رد تلقائي"},               {"he", "תשובה אוטומטית"},
    {"th", "ตอบกลับอัตโนมัติ"},          {"vi", "Trả lời tự động"},         {"id", "Balasan otomatis"},
    {"ms", "Balasan automatik"},        {"ca", "Resposta automàtica"},     {"eu", "Erantzun automatikoa"},
    {"is", "Sjálfvirkt svar"},          {"hi", "स्वचालित जवाब"},
};

// Domino/Notes writes "<name> is out of the office." in the user's language.
constexpr Phrase kAbsenceStatements[] = {
    {"en", " is out of the office"}, {"en", " is out of office"},   {"de", " ist außer Haus"},
    {"de", " ist nicht im Büro"},    {"de", " ist abwesend"},        {"fr", " est absent"},
    {"es", " está fuera de la oficina"}, {"it", " è fuori ufficio"}, {"it", " è assente"},
    {"nl", " is afwezig"},           {"nl", " is niet op kantoor"},  {"pt", " está fora do escritório"},
    {"pt", " está ausente"},         {"pl", " jest poza biurem"},    {"sv", " är inte på kontoret"},
    {"da", " er ikke på kontoret"},  {"nb", " er ikke på kontoret"}, {"fi", " on poissa toimistolta"},
    {"cs", " je mimo kancelář"},     {"ru", " отсутствует"},
};

// Outlook/Exchange meeting responses and Google Calendar replies put the response
// before the meeting's subject.
constexpr Phrase kCalendarPrefixes[] = {
    {"en", "Accepted"},      {"en", "Declined"},         {"en", "Tentative"},       {"en", "Tentatively Accepted"},
    {"en", "Canceled"},      {"en", "Cancelled"},        {"en", "Invitation"},      {"en", "Updated invitation"},
    {"en", "New Time Proposed"}, {"en", "Meeting Forward Notification"},
    {"de", "Angenommen"},    {"de", "Abgelehnt"},        {"de", "Mit Vorbehalt angenommen"}, {"de", "Vorläufig"},
    {"de", "Zugesagt"},      {"de", "Abgesagt"},         {"fr", "Accepté"},         {"fr", "Refusé"},
    {"fr", "Provisoire"},    {"fr", "Accepté provisoirement"}, {"es", "Aceptado"},  {"es", "Rechazado"},
    {"es", "Provisional"},   {"es", "Tentativa"},        {"it", "Accettato"},       {"it", "Rifiutato"},
    {"it", "Provvisorio"},   {"pt", "Aceito"},           {"pt", "Aceite"},          {"pt", "Recusado"},
    {"pt", "Provisório"},    {"nl", "Geaccepteerd"},     {"nl", "Geweigerd"},       {"nl", "Voorlopig"},
    {"pl", "Zaakceptowane"}, {"pl", "Odrzucone"},        {"pl", "Wstępnie zaakceptowane"}, {"sv", "Accepterat"},
    {"sv", "Avböjt"},        {"sv", "Preliminärt"},      {"da", "Accepteret"},      {"da", "Afvist"},
    {"nb", "Godtatt"},       {"nb", "Avslått"},          {"fi", "Hyväksytty"},      {"fi", "Hylätty"},
    {"cs", "Přijato"},       {"cs", "Odmítnuto"},        {"hu", "Elfogadva"},       {"hu", "Elutasítva"},
    {"ru", "Принято"},       {"ru", "Отклонено"},        {"ru", "Под вопросом"},    {"tr", "Kabul Edildi"},
    {"tr", "Reddedildi"},    {"ja", "承諾"},             {"ja", "辞退"},            {"ja", "仮承諾"},
    {"zh", "已接受"},        {"zh", "已拒绝"},           {"zh", "暂定"},            {"ko", "수락"},
    {"ko", "거절"},          {"ko", "미정"},
};

// Outlook's read receipts and their localised forms.
constexpr Phrase kReadReceiptPrefixes[] = {
    {"en", "Read"},          {"en", "Not read"},      {"en", "Read receipt"},  {"en", "Return Receipt"},
    {"de", "Gelesen"},       {"de", "Ungelesen"},     {"de", "Lesebestätigung"}, {"fr", "Lu"},
    {"fr", "Non lu"},        {"es", "Leído"},         {"es", "No leído"},      {"it", "Letto"},
    {"it", "Non letto"},     {"nl", "Gelezen"},       {"nl", "Niet gelezen"},  {"pt", "Lido"},
    {"pt", "Não lido"},      {"pl", "Przeczytane"},   {"pl", "Przeczytano"},   {"cs", "Přečteno"},
    {"ru", "Прочитано"},     {"sv", "Läst"},          {"da", "Læst"},          {"nb", "Lest"},
    {"fi", "Luettu"},        {"hu", "Olvasott"},      {"tr", "Okundu"},        {"ja", "開封済み"},
    {"zh", "已读"},          {"zh", "已讀"},          {"ko", "읽음"},
};

// Bounce subjects of Postfix, Sendmail, Exim, qmail, Exchange, Notes and the large
// mail services (captured samples of public bounce-parser fixtures).
constexpr Phrase kBounceSubjects[] = {
    {"en", "Undeliverable"},         {"en", "Undelivered Mail"},     {"en", "Delivery Status Notification"},
    {"en", "Mail delivery failed"},  {"en", "Mail Delivery Failure"}, {"en", "Delivery failure"},
    {"en", "Returned mail"},         {"en", "failure notice"},       {"en", "Warning: could not send message"},
    {"en", "Delivery delayed"},      {"en", "Delayed Mail"},         {"en", "Delivery Notification"},
    {"en", "Mail System Error"},     {"en", "Nondeliverable"},       {"en", "Message not delivered"},
    {"en", "Mail could not be delivered"}, {"en", "Delivery has failed"}, {"en", "DELIVERY FAILURE"},
    {"en", "Mail delivery failure"}, {"en", "Mail failure"},         {"en", "Non delivery report"},
    {"fr", "Non remis"},             {"fr", "Non distribuable"},     {"de", "Unzustellbar"},
    {"de", "Nicht zustellbar"},      {"nl", "Onbestelbaar"},         {"es", "No se puede entregar"},
    {"it", "Non recapitabile"},      {"pl", "Nie można dostarczyć"}, {"ja", "配信不能"},
};
// clang-format on

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Skips spaces, including the no-break spaces French typography puts before a colon.
size_t skipSpaces(std::string_view text, size_t at) {
    while (at < text.size()) {
        if (text[at] == ' ' || text[at] == '\t') ++at;
        else if (text.substr(at, 2) == "\xC2\xA0") at += 2;
        else if (text.substr(at, 3) == "\xE2\x80\xAF") at += 3;
        else break;
    }
    return at;
}

bool colonAt(std::string_view text, size_t at) {
    return (at < text.size() && text[at] == ':') || text.substr(at, 3) == "\xEF\xBC\x9A";
}

}  // namespace

std::span<const Phrase> OutOfOfficePrefixes() { return kOutOfOfficePrefixes; }
std::span<const Phrase> AbsenceStatements() { return kAbsenceStatements; }
std::span<const Phrase> CalendarPrefixes() { return kCalendarPrefixes; }
std::span<const Phrase> ReadReceiptPrefixes() { return kReadReceiptPrefixes; }
std::span<const Phrase> BounceSubjects() { return kBounceSubjects; }

bool StartsWithLabel(std::string_view subject, std::span<const Phrase> prefixes, const Phrase** found) {
    size_t start = skipSpaces(subject, 0);
    for (const Phrase& prefix : prefixes) {
        if (!StartsWithIgnoringCase(subject.substr(start), prefix.text)) continue;
        if (!colonAt(subject, skipSpaces(subject, start + prefix.text.size()))) continue;
        if (found) *found = &prefix;
        return true;
    }
    return false;
}

bool StartsWithPhrase(std::string_view subject, std::span<const Phrase> phrases) {
    size_t start = skipSpaces(subject, 0);
    for (const Phrase& phrase : phrases)
        if (StartsWithIgnoringCase(subject.substr(start), phrase.text)) return true;
    return false;
}

AbsenceMatch FindAbsenceStatement(std::string_view subject) {
    constexpr size_t kLongestName = 80;
    for (const Phrase& statement : kAbsenceStatements) {
        size_t at = FindIgnoringCase(subject, statement.text);
        if (at == std::string_view::npos || at == 0 || at > kLongestName) continue;
        std::string_view name = subject.substr(0, at);
        if (name.find(':') != std::string_view::npos) continue;  // "Re: ...", "Fwd: ..." are people's
        std::string_view rest = subject.substr(at + statement.text.size());
        // "est absent" also begins "est absente"; a letter after the statement is another word.
        if (!rest.empty() && lower(rest[0]) >= 'a' && lower(rest[0]) <= 'z' && rest.substr(0, 1) != "e") continue;
        if (rest.substr(0, 1) == "e") rest.remove_prefix(1);
        if (rest.substr(0, 3) == "(e)") rest.remove_prefix(3);
        size_t after = skipSpaces(rest, 0);
        rest.remove_prefix(after);
        bool whole = rest.empty() || rest == "." || rest.front() == '(' || StartsWithIgnoringCase(rest, "until ") ||
                     StartsWithIgnoringCase(rest, "returning ") || StartsWithIgnoringCase(rest, "bis ");
        return {true, whole};
    }
    return {};
}

}  // namespace platform::smtp
