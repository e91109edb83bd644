#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "AtomicFile.h"
#include "Doc.h"
#include "DocFiles.h"
#include "DocTestUtil.h"
#include "TempDir.h"

namespace tovan {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using PdfLayout::Span;
using test::TempDir;

const std::u16string noteId = u"0f8fad5b-d9cb-469f-a165-70867728950e";

std::shared_ptr<Doc> note(std::u16string id = noteId) {
    Doc::Fields f;
    f.id = std::move(id);
    f.title = u"Notes";
    f.kind = u"text";
    f.paragraphs = {u"First line. Second one here.", u"Ünï “quoted” a/b \"q\"\ttab\nend. Third."};
    f.added = f.opened = 1700000000000;
    return std::make_shared<Doc>(std::move(f));
}

std::shared_ptr<Doc> doc(std::u16string id, std::u16string title, std::u16string kind, std::u16string source,
                         std::vector<std::u16string> paragraphs, std::int64_t added, std::u16string author = u"") {
    Doc::Fields f;
    f.id = std::move(id);
    f.title = std::move(title);
    f.kind = std::move(kind);
    f.source = std::move(source);
    f.author = std::move(author);
    f.paragraphs = std::move(paragraphs);
    f.added = f.opened = added;
    return std::make_shared<Doc>(std::move(f));
}

std::string read(const fs::path& p) {
    std::string bytes;
    return AtomicFile::read(p, bytes) ? bytes : "<missing>";
}

void write(const fs::path& p, std::string_view bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

std::vector<std::string> names(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::u16string> idsOf(const std::vector<Doc::Meta>& rows) {
    std::vector<std::u16string> out;
    for (const auto& r : rows) out.push_back(r.id);
    return out;
}

TEST(DocFiles, WritesTheThreeFilesByteForByte) {
    TempDir dir;
    auto d = note();
    ASSERT_TRUE(d->save(dir.path));
    d->pos = 2;
    d->opened = 1700000005000;
    ASSERT_TRUE(d->savePos(dir.path));
    const std::string stem = test::utf8(noteId);
    EXPECT_EQ(read(dir.path / (stem + ".json")),
              R"({"id":"0f8fad5b-d9cb-469f-a165-70867728950e","title":"Notes","kind":"text","source":"",)"
              R"("added":1700000000000,"pos":0,"opened":1700000000000,"paragraphs":["First line. Second one here.",)"
              R"("Ünï “quoted” a/b \"q\"\ttab\nend. Third."]})");
    EXPECT_EQ(read(dir.path / (stem + ".meta")),
              R"({"title":"Notes","kind":"text","added":1700000000000,"count":4,"chars":62,"source":""})");
    EXPECT_EQ(read(dir.path / (stem + ".pos")), "2 1700000005000 0");
    EXPECT_EQ(names(dir.path), (std::vector<std::string>{stem + ".json", stem + ".meta", stem + ".pos"}));

    // A PDF document with an author and spans; floats are widened, not rounded.
    auto pdf = Doc::createPdf(u"pdf-1", u"Paper", u"file:///p.pdf", {u"Ab cd.", u""},
                              {{Span{0, 0, 6, 0.1f, 0.25f, 0.5f, 1}}, {}}, 1700000000001);
    ASSERT_TRUE(pdf->save(dir.path));
    EXPECT_EQ(read(dir.path / "pdf-1.json"),
              R"({"id":"pdf-1","title":"Paper","kind":"pdf","source":"file:///p.pdf","added":1700000000001,)"
              R"("pos":0,"opened":1700000000001,"paragraphs":["Ab cd.",""],)"
              R"("spans":[[[0,0,6,0.10000000149011612,0.25,0.5,1.0]],[]]})");
    auto withAuthor = doc(u"a1", u"Book", u"epub", u"https://b/1", {u"One."}, 5, u"Ann");
    ASSERT_TRUE(withAuthor->save(dir.path));
    EXPECT_EQ(read(dir.path / "a1.meta"),
              R"({"title":"Book","kind":"epub","added":5,"count":1,"chars":4,"source":"https://b/1","author":"Ann"})");
    withAuthor->done = true;
    withAuthor->pos = 0;
    withAuthor->opened = -3;
    ASSERT_TRUE(withAuthor->savePos(dir.path));
    EXPECT_EQ(read(dir.path / "a1.pos"), "0 -3 1");
}

TEST(DocFiles, SavedDocumentsLoadAsTheyWere) {
    TempDir dir;
    auto pdf = Doc::createPdf(u"p", u"Paper", u"s", {u"Ab cd. Ef gh.", u"Ij kl."},
                              {{Span{2, 0, 6, 0.1f, 0.2f, 0.3f, 0.4f}, Span{3, 7, 13, 0.5f, 0.6f, 0.7f, 0.8f}},
                               {Span{4, 0, 6, 0, 0, 1, 1}}},
                              42);
    pdf->pos = 1;
    pdf->opened = 50;
    pdf->done = true;
    ASSERT_TRUE(pdf->save(dir.path));
    ASSERT_TRUE(pdf->savePos(dir.path));
    const auto back = Doc::load(u"p", dir.path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->title, u"Paper");
    EXPECT_EQ(back->kind, u"pdf");
    EXPECT_EQ(back->source, u"s");
    EXPECT_EQ(back->paragraphs, pdf->paragraphs);
    EXPECT_EQ(back->sentences, pdf->sentences);
    EXPECT_EQ(back->paraOf, pdf->paraOf);
    EXPECT_EQ(back->spans, pdf->spans);
    EXPECT_EQ(back->regions, pdf->regions);
    EXPECT_EQ(back->added, 42);
    EXPECT_EQ(back->pos, 1);
    EXPECT_EQ(back->opened, 50);
    EXPECT_TRUE(back->done);
    EXPECT_FALSE(back->isTransient);

    // A lone surrogate cannot be stored as UTF-8: it becomes U+FFFD, one unit,
    // so every offset still holds.
    auto odd = doc(u"odd", u"T", u"text", u"", {std::u16string(u"Ab") + char16_t(0xD800) + u"cd. Ef."}, 1);
    ASSERT_TRUE(odd->save(dir.path));
    const auto oddBack = Doc::load(u"odd", dir.path);
    ASSERT_TRUE(oddBack);
    EXPECT_EQ(oddBack->paragraphs[0], u"Ab\uFFFDcd. Ef.");
    EXPECT_EQ(oddBack->sentences.size(), odd->sentences.size());
}

TEST(DocFiles, LenientIntegers) {
    struct Case {
        const char* json;
        std::int64_t expected;
    };
    const Case cases[] = {
        {"12", 12},
        {"-7", -7},
        {"12.9", 12},
        {"-12.9", -12},
        {"1e3", 1000},
        {"true", 1},
        {"false", 0},
        {"null", 0},
        {"[]", 0},
        {"{}", 0},
        {R"("12")", 12},
        {R"("+12")", 12},
        {R"("-12")", -12},
        {R"("12.9")", 12},
        {R"("-0.5")", 0},
        {R"("1e3")", 1000},
        {R"("0x10")", 16},
        {R"("abc")", 0},
        {R"("")", 0},
        {R"(" 12")", 0},
        {R"("\t12")", 0},
        {R"("\n12")", 0},
        {R"("\u000012")", 0},
        {R"("12 ")", 0},
        {R"("12\u0000")", 0},
        {R"("+-5")", 0},
        {R"("1,5")", 0},
        {R"("inf")", 0},
        {R"("nan")", 0},
        {R"("99999999999999999999")", INT64_MAX},
        {R"("-99999999999999999999")", INT64_MIN},
        {R"("1e999")", INT64_MAX},
        {"1e300", INT64_MAX},
        {"-1e300", INT64_MIN},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"18446744073709551615", INT64_MAX},
    };
    for (const Case& c : cases) EXPECT_EQ(DocFiles::lenientInt64(json::parse(c.json)), c.expected) << c.json;
    EXPECT_EQ(DocFiles::lenientInt64(json()), 0);
}

TEST(DocFiles, PositionFiles) {
    using P = DocFiles::Position;
    struct Case {
        std::string text;
        P expected;
    };
    const Case cases[] = {
        {"12 1700 1", {12, 1700, true}},
        {"12 1700 0", {12, 1700, false}},
        {"12 1700 yes", {12, 1700, false}},
        {"12 1700", {12, 1700, std::nullopt}},
        {"12", {12, std::nullopt, std::nullopt}},
        {"x 5 1", {}},
        {"12 abc 1", {12, std::nullopt, std::nullopt}},
        {"12  1700 1", {12, std::nullopt, std::nullopt}},
        {" \n12 1700 1\r\n", {12, 1700, true}},
        {"\xC2\xA0" "12 5", {12, 5, std::nullopt}},
        {"+12 -5 1", {12, -5, true}},
        {"12 1700 1 extra", {12, 1700, true}},
        {"", {}},
        {"-", {}},
        {"99999999999999999999 1 1", {}},
        {"12 99999999999999999999 1", {12, std::nullopt, std::nullopt}},
        {"\xFF" "12", {}},
        {"1\xC0 2", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(DocFiles::parsePos(c.text), c.expected) << c.text;

    TempDir dir;
    EXPECT_EQ(DocFiles::readPos(dir.path, u"none"), P{});
}

TEST(DocFiles, LoadTakesWhatItCanAndRefusesTheRest) {
    TempDir dir;
    const auto put = [&](const char* id, const std::string& text) { write(dir.path / (std::string(id) + ".json"), text); };
    const std::string paragraphs = R"("paragraphs":["Ab cd. Ef gh. Ij kl."])";

    put("past", R"({"id":"past","title":"T",)" + paragraphs + R"(,"pos":99,"opened":7})");
    auto d = Doc::load(u"past", dir.path);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->pos, 2);  // the last sentence
    EXPECT_EQ(d->opened, 7);
    EXPECT_EQ(d->kind, u"text");
    EXPECT_EQ(d->source, u"");
    EXPECT_EQ(d->author, u"");
    EXPECT_FALSE(d->done);

    put("empty", R"({"id":"empty","title":"T","paragraphs":[],"pos":5})");
    ASSERT_TRUE(Doc::load(u"empty", dir.path));
    EXPECT_EQ(Doc::load(u"empty", dir.path)->pos, 0);

    // The position file wins over the document file.
    write(dir.path / "past.pos", "1 900 1");
    d = Doc::load(u"past", dir.path);
    EXPECT_EQ(d->pos, 1);
    EXPECT_EQ(d->opened, 900);
    EXPECT_TRUE(d->done);
    write(dir.path / "past.pos", "-4");
    EXPECT_EQ(Doc::load(u"past", dir.path)->pos, 0);
    EXPECT_EQ(Doc::load(u"past", dir.path)->opened, 7);

    put("added", R"({"id":"x","title":"T","paragraphs":[],"added":"12.9","kind":3,"author":"A","source":null})");
    d = Doc::load(u"added", dir.path);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->added, 12);
    EXPECT_EQ(d->kind, u"text");
    EXPECT_EQ(d->author, u"A");
    EXPECT_EQ(d->id, u"added");  // the file name gives the id, not the stored "id"

    // Spans: a short span refuses the whole document; the wrong count drops them.
    put("six", R"({"id":"six","title":"T",)" + paragraphs + R"(,"spans":[[[0,0,5,0.1,0.2,0.3]]]})");
    EXPECT_FALSE(Doc::load(u"six", dir.path));
    put("count", R"({"id":"c","title":"T","paragraphs":["A.","B."],"spans":[[[0,0,2,0,0,1,1]]]})");
    d = Doc::load(u"count", dir.path);
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->spans);
    EXPECT_FALSE(d->regions);
    put("notarray", R"({"id":"n","title":"T","paragraphs":["A."],"spans":{"a":1}})");
    ASSERT_TRUE(Doc::load(u"notarray", dir.path));
    EXPECT_FALSE(Doc::load(u"notarray", dir.path)->spans);
    put("frac", R"({"id":"f","title":"T","paragraphs":["Ab cd."],"spans":[[[1.9,-0.5,6.7,0,0,1,1,99,"x"]]]})");
    d = Doc::load(u"frac", dir.path);
    ASSERT_TRUE(d);
    ASSERT_TRUE(d->spans);
    EXPECT_EQ((*d->spans)[0][0], (Span{1, 0, 6, 0, 0, 1, 1}));

    // Values a float cannot hold: the span goes, and the document saves and
    // loads again.
    put("huge", R"({"id":"h","title":"T","paragraphs":["Ab cd."],)"
                R"("spans":[[[1e300,-1e300,1e300,1e300,0,1,1],[0,0,6,0,0,1,1]]]})");
    d = Doc::load(u"huge", dir.path);
    ASSERT_TRUE(d);
    EXPECT_EQ((*d->spans)[0].size(), 1u);
    ASSERT_TRUE(d->save(dir.path));
    EXPECT_TRUE(Doc::load(u"huge", dir.path));

    const char* broken[] = {
        R"({"title":"T","paragraphs":[]})",                 // no id
        R"({"id":5,"title":"T","paragraphs":[]})",          // id not a string
        R"({"id":"b","paragraphs":[]})",                    // no title
        R"({"id":"b","title":"T"})",                        // no paragraphs
        R"({"id":"b","title":"T","paragraphs":["a",1]})",   // a paragraph not a string
        R"({"id":"b","title":"T","paragraphs":"a"})",
        R"({"id":"b","title":"T","paragraphs":[],"spans":[5]})",
        R"({"id":"b","title":"T","paragraphs":[],"spans":[[[0,0,1,0,0,1,true]]]})",
        R"(["id","b"])",
        R"({"id":"b","title":"T","paragraphs":[)",
        "{\"id\":\"b\",\"title\":\"\xFF\",\"paragraphs\":[]}",
        "",
    };
    for (const char* text : broken) {
        put("broken", text);
        EXPECT_FALSE(Doc::load(u"broken", dir.path)) << text;
    }
    EXPECT_FALSE(Doc::load(u"missing", dir.path));
    fs::create_directory(dir.path / "folder.json");
    EXPECT_FALSE(Doc::load(u"folder", dir.path));
}

TEST(DocFiles, IdsThatAreNoSafeFileNameAreRefused) {
    TempDir outer;
    const fs::path dir = outer.path / "library";
    for (const std::u16string& id : {std::u16string(u"../escape"), std::u16string(u"a/b"), std::u16string(u".."),
                                     std::u16string(), std::u16string(u"x\0y", 3)}) {
        auto d = doc(id, u"T", u"text", u"", {u"A."}, 1);
        EXPECT_FALSE(d->save(dir)) << test::utf8(id);
        EXPECT_FALSE(d->savePos(dir));
        EXPECT_FALSE(Doc::load(id, dir));
        Doc::remove(id, dir);
    }
    EXPECT_FALSE(DocFiles::safeId(std::u16string(u"a") + char16_t(0xDC00)));
    EXPECT_TRUE(DocFiles::safeId(u"screen-123"));
    EXPECT_TRUE(DocFiles::safeId(u"caf\u00E9 \U0001F600"));
    EXPECT_EQ(names(outer.path), (std::vector<std::string>{}));
}

TEST(DocFiles, ListReadsRowsAndRebuildsBrokenOnes) {
    TempDir dir;
    const fs::path p = dir.path;
    // A valid row is listed as it stands, without the document file.
    write(p / "rowonly.json", "not json at all");
    write(p / "rowonly.meta", R"({"title":"From row","added":"5","count":3,"chars":40,"author":"A"})");
    write(p / "rowonly.pos", "2 300 0");
    // A row without a title is rebuilt from the document and stored again.
    auto rebuilt = doc(u"rebuilt", u"Doc", u"web", u"https://r", {u"Ab cd. Ef gh."}, 10);
    ASSERT_TRUE(rebuilt->save(p));
    write(p / "rebuilt.meta", R"({"kind":"web"})");
    // A broken row and a broken document: left out.
    write(p / "gone.json", "{");
    write(p / "gone.meta", "[]");
    // Orphans: rows and positions without a document.
    write(p / "orphan.meta", R"({"title":"Orphan"})");
    write(p / "orphan.pos", "1 999999 0");
    // A temporary file of an interrupted write.
    write(p / ".x.json.tmp-abc123", "{}");
    // A missing row.
    auto norow = doc(u"norow", u"No row", u"text", u"", {u"Ab."}, 20);
    ASSERT_TRUE(norow->save(p));
    fs::remove(p / "norow.meta");
    // Saved, never positioned: its row has no time.
    ASSERT_TRUE(doc(u"plain", u"Plain", u"text", u"", {u"Ab."}, 30)->save(p));

    const auto rows = Doc::list(p);
    ASSERT_EQ(idsOf(rows), (std::vector<std::u16string>{u"rowonly", u"norow", u"rebuilt", u"plain"}));
    const Doc::Meta& r = rows[0];
    EXPECT_EQ(r.title, u"From row");
    EXPECT_EQ(r.kind, u"text");
    EXPECT_EQ(r.added, 5);
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.chars, 40);
    EXPECT_EQ(r.author, u"A");
    EXPECT_EQ(r.source, u"");
    EXPECT_EQ(r.pos, 2);
    EXPECT_EQ(r.opened, 300);
    EXPECT_EQ(rows[2].opened, 10);  // a rebuilt row takes the document's own times
    EXPECT_EQ(rows[2].count, 2);
    EXPECT_EQ(rows[3].opened, 0);
    EXPECT_EQ(rows[3].added, 30);
    EXPECT_EQ(read(p / "rebuilt.meta"), DocFiles::metaJson(rebuilt->meta()));
    EXPECT_TRUE(fs::exists(p / "norow.meta"));
    EXPECT_TRUE(fs::exists(p / "orphan.meta"));
    EXPECT_TRUE(fs::exists(p / "orphan.pos"));
    EXPECT_FALSE(fs::exists(p / "gone.meta.json"));

    // all() loads only what loads.
    const auto docs = Doc::all(p);
    ASSERT_EQ(docs.size(), 3u);
    EXPECT_EQ(docs[0]->id, u"plain");  // opened 30 from its document file
    EXPECT_EQ(docs[1]->id, u"norow");
    EXPECT_EQ(docs[2]->id, u"rebuilt");

    TempDir fresh;
    EXPECT_TRUE(Doc::list(fresh.path / "new" / "library").empty());
    EXPECT_TRUE(fs::is_directory(fresh.path / "new" / "library"));
}

TEST(DocFiles, ListOrderAndUpNext) {
    TempDir dir;
    const fs::path p = dir.path;
    struct Row {
        const char16_t* id;
        std::int64_t added;
        const char* pos;
    };
    const Row rows[] = {{u"a", 30, "0 500 0"}, {u"b", 10, "0 100 1"}, {u"c", 20, "0 500 0"}, {u"d", 40, nullptr}};
    for (const Row& r : rows) {
        ASSERT_TRUE(doc(r.id, u"T", u"text", u"", {u"A."}, r.added)->save(p));
        if (r.pos) write(p / (test::utf8(r.id) + ".pos"), r.pos);
    }
    EXPECT_EQ(idsOf(Doc::list(p)), (std::vector<std::u16string>{u"a", u"c", u"b", u"d"}));
    EXPECT_EQ(idsOf(Doc::upNext(p)), (std::vector<std::u16string>{u"c", u"a", u"d"}));
    EXPECT_EQ(idsOf(Doc::upNext(p, u"a")), (std::vector<std::u16string>{u"c", u"d"}));
}

TEST(DocFiles, SaveOrExistingKeepsOneCopy) {
    TempDir dir;
    const fs::path p = dir.path;
    // The same article twice: the first stays, nothing is written.
    auto first = doc(Doc::newId(), u"Article", u"web", u"https://x/a", {u"Ab cd."}, 1);
    EXPECT_EQ(first->saveOrExisting(p), first->id);
    const auto before = names(p);
    auto again = doc(Doc::newId(), u"Other title", u"web", u"https://x/a", {u"Changed."}, 2);
    EXPECT_EQ(again->saveOrExisting(p), first->id);
    EXPECT_EQ(names(p), before);

    // A source-less row of the same kind and title key matches a sourced one.
    auto bare = doc(Doc::newId(), u"Book", u"epub", u"", {u"Ab."}, 3, u"Ann");
    ASSERT_TRUE(bare->save(p));
    auto sourced = doc(Doc::newId(), u"Book", u"epub", u"https://b", {u"Ab cd."}, 4, u"Ann");
    EXPECT_EQ(sourced->saveOrExisting(p), bare->id);

    // The same pasted text twice: the new one replaces the old.
    auto pasted = doc(Doc::newId(), u"Notes", u"text", u"", {u"Same text."}, 5);
    EXPECT_EQ(pasted->saveOrExisting(p), pasted->id);
    auto pastedAgain = doc(Doc::newId(), u"Notes", u"text", u"", {u"Same text."}, 6);
    EXPECT_EQ(pastedAgain->saveOrExisting(p), pastedAgain->id);
    EXPECT_FALSE(Doc::load(pasted->id, p));
    EXPECT_TRUE(Doc::load(pastedAgain->id, p));
    // Different length: both kept.
    auto longer = doc(Doc::newId(), u"Notes", u"text", u"", {u"Same text, longer."}, 7);
    EXPECT_EQ(longer->saveOrExisting(p), longer->id);
    EXPECT_TRUE(Doc::load(pastedAgain->id, p));
    // The document meeting itself is not deleted.
    EXPECT_EQ(longer->saveOrExisting(p), longer->id);
    EXPECT_TRUE(Doc::load(longer->id, p));
}

TEST(DocFiles, AFailedReplacementLosesNothing) {
    TempDir dir;
    const fs::path p = dir.path;
    auto old = doc(Doc::newId(), u"Notes", u"text", u"", {u"Same text."}, 5);
    ASSERT_TRUE(old->save(p));
    // The new document's file name is taken by a folder: its save fails.
    auto fresh = doc(Doc::newId(), u"Notes", u"text", u"", {u"Same text."}, 6);
    fs::create_directories(p / (test::utf8(fresh->id) + ".json") / "blocker");
    EXPECT_EQ(fresh->saveOrExisting(p), old->id);
    EXPECT_TRUE(Doc::load(old->id, p));
    EXPECT_TRUE(fs::exists(p / (test::utf8(old->id) + ".meta")));
}

// Writes that fail part-way (here: the file size limit) leave the previous
// files as they were and no temporary file behind.
TEST(DocFiles, AFailedWriteLeavesThePreviousFiles) {
    TempDir dir;
    const fs::path p = dir.path;
    auto d = note();
    d->pos = 1;
    ASSERT_TRUE(d->save(p));
    ASSERT_TRUE(d->savePos(p));
    const auto before = names(p);
    const std::string stem = test::utf8(noteId);
    const std::string json = read(p / (stem + ".json")), meta = read(p / (stem + ".meta")),
                      pos = read(p / (stem + ".pos"));

    Doc::Fields f;
    f.id = noteId;
    f.title = u"Notes, rewritten";
    f.kind = u"text";
    f.paragraphs = {std::u16string(5000, u'x')};
    auto bigger = std::make_shared<Doc>(std::move(f));
    bigger->pos = 3;

    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = saved;
    tiny.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const bool saved1 = bigger->save(p);
    tiny.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &tiny);
    const bool saved2 = bigger->savePos(p);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved1);
    EXPECT_FALSE(saved2);
    EXPECT_EQ(read(p / (stem + ".json")), json);
    // The row was taken away before the document was written, so that no
    // row outlives its version; the listing rebuilds the same row.
    ASSERT_EQ(Doc::list(p).size(), 1u);
    EXPECT_EQ(Doc::list(p)[0].title, u"Notes");
    EXPECT_EQ(read(p / (stem + ".meta")), meta);
    EXPECT_EQ(read(p / (stem + ".pos")), pos);
    EXPECT_EQ(names(p), before);
}

// The process dies at every step of a save in turn (before and after each
// file is written, in a forked child): whatever it dies at, the library
// then lists one row that describes the document that loads, the old or the
// new one, never the new row beside the old document or the reverse.
int crashAt = 0;  // the step of a save at which the child dies, counted from 1
int stepsSeen = 0;

void dieAtTheChosenStep(AtomicFile::Step, const fs::path&) {
    if (++stepsSeen == crashAt) _exit(0);
}

TEST(DocFiles, ACrashAtAnyStepOfASaveLeavesTheOldOrTheNewDocumentWithItsRow) {
    const auto version = [](std::u16string title, std::vector<std::u16string> paragraphs) {
        Doc::Fields f;
        f.id = noteId;
        f.title = std::move(title);
        f.kind = u"text";
        f.paragraphs = std::move(paragraphs);
        f.added = f.opened = 1700000000000;
        return std::make_shared<Doc>(std::move(f));
    };
    const auto old = version(u"Old", {u"One sentence."});
    const auto fresh = version(u"New", {u"Three sentences. In two paragraphs.", u"The third."});
    std::set<std::u16string> seen;
    for (crashAt = 1;; ++crashAt) {
        SCOPED_TRACE("died at step " + std::to_string(crashAt));
        TempDir dir;
        ASSERT_TRUE(old->save(dir.path));
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            stepsSeen = 0;
            AtomicFile::setStepHook(dieAtTheChosenStep);
            fresh->save(dir.path);
            _exit(1);  // the save ran to its end before the chosen step
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));

        AtomicFile::removeStale(dir.path);  // as the library does at start-up
        const auto rows = Doc::list(dir.path);
        ASSERT_EQ(rows.size(), 1u);
        const auto loaded = Doc::load(noteId, dir.path);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(rows[0].title, loaded->title);
        EXPECT_EQ(rows[0].count, std::int64_t(loaded->sentences.size()));
        EXPECT_EQ(rows[0].chars, loaded->meta().chars);
        seen.insert(loaded->title);
        if (WEXITSTATUS(status) == 1) {
            EXPECT_EQ(loaded->title, u"New");
            break;
        }
        ASSERT_LT(crashAt, 20) << "a save takes a handful of steps";
    }
    EXPECT_EQ(seen, (std::set<std::u16string>{u"Old", u"New"}));
}

TEST(DocFiles, FindSourceAndDelete) {
    TempDir dir;
    const fs::path p = dir.path;
    auto a = doc(u"a", u"Essays, Part 2", u"text", u"", {u"A."}, 1);
    auto b = doc(u"b", u"Essays", u"epub", u"", {u"A."}, 2, u"Ann");
    auto c = doc(u"c", u"Web", u"web", u"https://w", {u"A."}, 3);
    for (auto& d : {a, b, c}) ASSERT_TRUE(d->save(p));
    write(p / "a.pos", "0 30 0");
    write(p / "b.pos", "0 20 0");
    write(p / "c.pos", "0 10 0");
    EXPECT_EQ(Doc::findSource(u"https://w", std::nullopt, p), u"c");
    EXPECT_EQ(Doc::findSource(u"", std::nullopt, p), u"a");  // newest opened without source
    EXPECT_EQ(Doc::findSource(u"https://none", u"Essays", p), u"a");
    EXPECT_EQ(Doc::findSource(u"https://none", u"Essays \u00B7", p), u"b");
    EXPECT_EQ(Doc::findSource(u"https://none", std::nullopt, p), std::nullopt);
    EXPECT_EQ(Doc::findSource(u"https://none", u"Web", p), std::nullopt);  // has a source

    write(p / "c.pdf", "%PDF");
    Doc::remove(u"c", p);
    Doc::remove(u"never", p);
    EXPECT_FALSE(fs::exists(p / "c.json"));
    EXPECT_FALSE(fs::exists(p / "c.meta"));
    EXPECT_FALSE(fs::exists(p / "c.pos"));
    EXPECT_TRUE(fs::exists(p / "c.pdf"));  // the library store's file
}

TEST(DocFiles, TransientDocumentsStoreNoPosition) {
    TempDir outer;
    const fs::path p = outer.path / "library";
    auto t = Doc::createTransient(u"Screen", {u"Hi."}, 5);
    EXPECT_FALSE(t->savePos(p));
    EXPECT_FALSE(fs::exists(p));
}

}  // namespace
}  // namespace tovan
