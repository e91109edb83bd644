// The symbols pass: abbreviations, arrows, bullets, marks and signs left
// after the other passes, read as words. Spacing is left for the clean-up of
// say().
#include "SpokenPasses.h"

namespace tovan::Spoken {

using detail::rewrite;
using detail::literal;
using detail::Rule;

namespace {

// Rules 1-7, before the street suffixes are spelt out.
constexpr Rule ABBREVIATIONS[] = {
    {uR"(\bw/o\b)", u"without", u"/", u"w/o"},
    {uR"(\bw/(?=\s?\w))", u"with ", u"/", u"w/"},
    {uR"(\bb/c\b)", u"because", u"/", u"b/c"},
    {uR"((?i)\ba\.k\.a\.?|\baka\b)", u"also known as", u"kK\u212A"},
    {uR"(\bvs\b\.?)", u"versus", u"v", u"vs"},
    {uR"(\bapprox\b\.?)", u"approximately", u"x", u"approx"},
    // The suffix is marked with "@@" before the dot, for the literal rules.
    // The plain form puts the name's look-behind first,
    // "(?<=\b[A-Z][a-z]{2,20}) (St|Ave|Rd|Blvd|Ln)(\.?)(?=\s*(?:$|[,;\n]))";
    // starting at the space and testing the suffix before the name matches
    // the same text some twenty times faster.
    {uR"( (?=St|Ave|Rd|Blvd|Ln)(?<=\b[A-Z][a-z]{2,20} )(St|Ave|Rd|Blvd|Ln)(\.?)(?=\s*(?:$|[,;\n])))", u" $1@@$2", u"SARBL"},
    // Before a capital the suffix and its stop could be "St. Louis"; the
    // engine reads "St." so placed as "Saint". After a name that stands
    // inside a sentence (a small word before it) and is no part of a place
    // name that takes a saint, it is the street, and is spelt out here.
    // (Starting at the suffix and looking back over it is four times
    // cheaper than starting at the space before it.)
    {uR"(\b(St|Ave|Rd|Blvd|Ln)\.(?=\s+[A-Z])(?<=[a-z,;:] {1,3}[A-Z][a-z]{2,20} (?:St|Ave|Rd|Blvd|Ln)\.)(?<!\b(?:Mount|Fort|Port|Lake|Holy|Great|Little|Saint|Santa|San) (?:St|Ave|Rd|Blvd|Ln)\.))",
     u"$1@@.", u"SARBL"},
};

struct Literal {
    std::u16string_view from, to;
};

constexpr Literal STREETS[] = {
    {u"St@@", u"Street"}, {u"Ave@@", u"Avenue"}, {u"Rd@@", u"Road"}, {u"Blvd@@", u"Boulevard"}, {u"Ln@@", u"Lane"}};

// Rules 9-18.
constexpr Rule MARKS[] = {
    {uR"(\btsps?\b\.?)", u"teaspoon", u"t", u"tsp"},
    {uR"(\btbsps?\b\.?)", u"tablespoon", u"t", u"tbsp"},
    {uR"(\bMt\.(?=\s+[A-Z]))", u"Mount", u"M", u"Mt."},
    {uR"(\bFt\.(?=\s+[A-Z]))", u"Fort", u"F", u"Ft."},
    {uR"(\s*[→⇒➔⟶]\s*)", u" to ", u"→⇒➔⟶"},
    {uR"(\s*[←⇐]\s*)", u" from ", u"←⇐"},
    {uR"(\s*[•·‣▪●◦|¦]\s*)", u", ", u"•·‣▪●◦|¦"},
    {uR"(^,\s*)", u"", u","},
    {uR"([✓✔☑])", u" ", u"✓✔☑"},
    {uR"([★☆✗✘✕])", u" ", u"★☆✗✘✕"},
};

constexpr Literal SIGNS[] = {
    {u"±", u" plus or minus "}, {u"≈", u" about "},  {u"≠", u" is not "},      {u"≤", u" at most "},
    {u"≥", u" at least "},      {u"×", u" times "},  {u"÷", u" divided by "}, {u"°", u" degrees "},
};

// Rules 20-27: the single characters left.
constexpr Rule CHARACTERS[] = {
    {uR"((?<=\s|^)@(?=\s))", u"at", u"@"},
    {uR"((?<=\w)@(?=\w))", u" at ", u"@"},
    {uR"((?<=\s|^)\+(?=\s|$|[.,;:!?]))", u"plus", u"+"},
    {uR"((?<=\s|^)=(?=\s|$|[.,;:!?]))", u"equals", u"="},
    // Between letters: "x+y", "a=b" ("C++" keeps its signs for the engine).
    // (Each starts with its sign and looks back after it, so the matcher
    // only stops at the signs.)
    {uR"(\+(?<=[A-Za-z]\+)(?=[A-Za-z]))", u" plus ", u"+"},
    {uR"(=(?<=[A-Za-z]=)(?=[A-Za-z]))", u" equals ", u"="},
    // A star standing alone is a key or a button; any other star is a
    // footnote or emphasis mark, which is not read.
    {uR"((?<=\s|^)\*(?=\s|$|[.,;:!?]))", u"star", u"*"},
    {uR"(\*+)", u" ", u"*"},
    // A dollar sign written inside a word stands for its letter ("Micro$oft").
    {uR"(\$(?<=[A-Za-z]\$)(?=[a-z]))", u"s", u"$"},
    // A slash between spaced words ("yes / no") is said, not left for the
    // engine to guess at.
    {uR"(/(?<=[ \t]/)[ \t]+(?=\w))", u"slash ", u"/"},
    {uR"((?<=\s|^)%)", u"percent", u"%"},
    {uR"([_\\^{}]+)", u" ", u"_\\^{}"},
    {uR"((?<=\w)/(?=\w))", u" ", u"/"},
    {uR"((?<=\s|^)#(?=\s|$))", u"", u"#"},
};

}  // namespace

std::u16string symbols(const std::u16string& s) {
    std::u16string t = s;
    for (const Rule& r : ABBREVIATIONS) t = rewrite(t, r);
    if (t.find(u"@@") != std::u16string::npos) {
        for (const Literal& l : STREETS) t = literal(std::move(t), l.from, l.to);
    }
    for (const Rule& r : MARKS) t = rewrite(t, r);
    for (const Literal& l : SIGNS) t = literal(std::move(t), l.from, l.to);
    for (const Rule& r : CHARACTERS) t = rewrite(t, r);
    return t;
}

std::vector<std::u16string_view> detail::symbolPatterns() {
    std::vector<std::u16string_view> out;
    for (const Rule& r : ABBREVIATIONS) out.push_back(r.pattern);
    for (const Rule& r : MARKS) out.push_back(r.pattern);
    for (const Rule& r : CHARACTERS) out.push_back(r.pattern);
    return out;
}

}  // namespace tovan::Spoken
