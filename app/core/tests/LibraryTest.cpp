#include "Library.h"

#include <gtest/gtest.h>

#include "ModelTestUtil.h"

using tovan::Doc;
using tovan::Library;
using namespace tovan::test;

namespace {

std::shared_ptr<Doc> makeDoc(std::u16string title, std::int64_t added, std::optional<std::u16string> source = {},
                             std::u16string kind = u"web") {
    return std::make_shared<Doc>(title, std::nullopt, kind, source,
                                 std::vector<std::u16string>{title + u" is here. It has two sentences."}, added);
}

std::vector<std::u16string> titles(const Library& lib) {
    std::vector<std::u16string> out;
    for (auto& m : lib.docs()) out.push_back(m.title);
    return out;
}

struct LibraryTest : ::testing::Test {
    TempDir dir;
    std::filesystem::path lib() { return dir / "library"; }
    void SetUp() override { coreApp(); }
};

}  // namespace

TEST_F(LibraryTest, MakesItsFolderAndStartsEmpty) {
    Library library(dir / "a" / "b" / "library");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a" / "b" / "library"));
    EXPECT_TRUE(library.docs().empty());
}

TEST_F(LibraryTest, RowsAreNewestFirstByTheLaterOfAddedAndOpened) {
    std::filesystem::create_directories(lib());
    auto old = makeDoc(u"Old", 100);
    auto reopened = makeDoc(u"Reopened", 50);
    reopened->opened = 300;
    auto tieA = makeDoc(u"TieA", 200);
    auto tieB = makeDoc(u"TieB", 200);
    for (auto& d : {old, reopened, tieA, tieB}) {
        ASSERT_TRUE(d->save(lib()));
        d->savePos(lib());
    }
    Library library(lib());
    auto got = titles(library);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got.front(), u"Reopened");
    EXPECT_EQ(got.back(), u"Old");
    // Equal keys keep the order of the folder listing.
    std::vector<std::u16string> listed;
    for (auto& m : Doc::list(lib()))
        if (m.title.rfind(u"Tie", 0) == 0) listed.push_back(m.title);
    EXPECT_EQ((std::vector<std::u16string>{got[1], got[2]}), listed);
}

TEST_F(LibraryTest, SaveUpdatesTheRowInPlaceAndReloadMovesIt) {
    Library library(lib());
    auto a = library.saveOrExisting(makeDoc(u"A", 100));
    auto b = library.saveOrExisting(makeDoc(u"B", 200));
    ASSERT_EQ(titles(library), (std::vector<std::u16string>{u"B", u"A"}));
    int changes = 0;
    QObject::connect(&library, &Library::docsChanged, [&] { ++changes; });

    a->pos = 1;
    a->opened = 900;
    a->done = true;
    library.save(*a);
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(titles(library), (std::vector<std::u16string>{u"B", u"A"}));
    const auto& row = library.docs()[1];
    EXPECT_EQ(row.pos, 1);
    EXPECT_EQ(row.opened, 900);
    EXPECT_TRUE(row.done);
    // The position reached the folder.
    auto again = Doc::load(a->id, lib());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->pos, 1);
    EXPECT_TRUE(again->done);

    library.reload();
    EXPECT_EQ(titles(library), (std::vector<std::u16string>{u"A", u"B"}));
}

TEST_F(LibraryTest, SavingADocumentThatIsNotListedLeavesTheListAlone) {
    Library library(lib());
    library.saveOrExisting(makeDoc(u"Kept", 100));
    auto transient = Doc::createTransient(u"Screen", {u"Read once."});
    auto deleted = library.saveOrExisting(makeDoc(u"Gone", 200));
    library.remove(deleted->id);
    const auto before = library.docs();
    int changes = 0;
    QObject::connect(&library, &Library::docsChanged, [&] { ++changes; });
    library.save(*transient);
    library.save(*deleted);
    EXPECT_EQ(library.docs(), before);
    EXPECT_EQ(changes, 0);
}

TEST_F(LibraryTest, AnEqualDocumentGivesTheListedOneFromCacheOrDisk) {
    const std::u16string source = u"https://example.org/a";
    for (bool fromDisk : {false, true}) {
        SCOPED_TRACE(fromDisk);
        TempDir d;
        auto first = makeDoc(u"Page", 100, source);
        std::shared_ptr<Doc> listed;
        std::unique_ptr<Library> library;
        if (fromDisk) {
            ASSERT_TRUE(first->save(d.path));
            library = std::make_unique<Library>(d.path);
            EXPECT_TRUE(library->loaded.empty());
        } else {
            library = std::make_unique<Library>(d.path);
            listed = library->saveOrExisting(first);
            EXPECT_EQ(listed, first);  // the very object, from the cache
        }
        auto second = makeDoc(u"Page again", 500, source);
        auto got = library->saveOrExisting(second);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->id, first->id);
        EXPECT_NE(got, second);
        EXPECT_EQ(library->docs().size(), 1u);
        EXPECT_EQ(library->loaded.count(second->id), 0u);
    }
}

TEST_F(LibraryTest, DeleteRemovesFilesPdfCopyCacheAndRow) {
    Library library(lib());
    auto withPdf = library.saveOrExisting(makeDoc(u"Pdf", 100, std::nullopt, u"pdf"));
    auto without = library.saveOrExisting(makeDoc(u"Plain", 200));
    spit(dir / "source.pdf", "%PDF-1.4 one");
    library.copyPdf(dir / "source.pdf", *withPdf);
    ASSERT_TRUE(std::filesystem::exists(library.pdfPath(withPdf->id)));

    library.remove(withPdf->id);
    library.remove(without->id);  // never had a copy
    EXPECT_TRUE(library.docs().empty());
    EXPECT_TRUE(library.loaded.empty());
    EXPECT_TRUE(std::filesystem::is_empty(lib())) << "files left behind";
}

TEST_F(LibraryTest, DeleteWithAnUnsafeIdTouchesNothingOutside) {
    Library library(lib());
    spit(dir / "victim.pdf", "keep");
    spit(dir / "victim.json", "keep");
    library.remove(u"../victim");
    EXPECT_EQ(slurp(dir / "victim.pdf"), "keep");
    EXPECT_EQ(slurp(dir / "victim.json"), "keep");
}

TEST_F(LibraryTest, CopyPdfReplacesAnOlderCopyAndSurvivesCopyingOntoItself) {
    Library library(lib());
    auto d = library.saveOrExisting(makeDoc(u"Pdf", 100, std::nullopt, u"pdf"));
    spit(dir / "one.pdf", "first");
    spit(dir / "two.pdf", "second");
    library.copyPdf(dir / "one.pdf", *d);
    library.copyPdf(dir / "two.pdf", *d);
    EXPECT_EQ(slurp(library.pdfPath(d->id)), "second");
    // Importing the library's own copy again must not lose it.
    library.copyPdf(library.pdfPath(d->id), *d);
    EXPECT_EQ(slurp(library.pdfPath(d->id)), "second");
    // A source that is missing leaves the previous copy and raises nothing.
    library.copyPdf(dir / "missing.pdf", *d);
    EXPECT_EQ(slurp(library.pdfPath(d->id)), "second");
    // So does a copy that fails part-way (a full disk), without a temporary.
    spit(dir / "big.pdf", std::string(100000, 'b'));
    {
        modeltest::FullDisk full(1000);
        library.copyPdf(dir / "big.pdf", *d);
    }
    EXPECT_EQ(slurp(library.pdfPath(d->id)), "second");
    for (const auto& e : std::filesystem::directory_iterator(lib()))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
}

TEST_F(LibraryTest, StartUpRemovesTheTemporariesOfCutShortSaves) {
    std::filesystem::create_directories(lib());
    const char* stale[] = {".abc.json.tmp-Ab12Cd", ".abc.meta.tmp-000000", ".abc.pdf.tmp-zzzzzz"};
    const char* kept[] = {"abc.json.tmp-Ab12Cd", ".abc.json.tmp-Ab12C", ".abc.json.tmp-Ab12Cde", ".hidden", "x.pdf"};
    for (const char* name : stale) spit(lib() / name, "partial");
    for (const char* name : kept) spit(lib() / name, "mine");
    std::filesystem::create_directories(lib() / ".folder.tmp-abcdef");
    Library library(lib());
    for (const char* name : stale) EXPECT_FALSE(std::filesystem::exists(lib() / name)) << name;
    for (const char* name : kept) EXPECT_TRUE(std::filesystem::exists(lib() / name)) << name;
    EXPECT_TRUE(std::filesystem::is_directory(lib() / ".folder.tmp-abcdef"));
}

TEST_F(LibraryTest, ADocumentThatCannotBeStoredStaysInMemory) {
    Library library(lib());
    auto d = makeDoc(u"Unsaved", 100);
    bool stored = true;
    std::shared_ptr<Doc> got;
    {
        modeltest::FullDisk full(10);
        got = library.saveOrExisting(d, &stored);
    }
    EXPECT_FALSE(stored);
    EXPECT_EQ(got, d);
    EXPECT_EQ(library.doc(d->id), d);
    EXPECT_TRUE(library.docs().empty());
    library.saveOrExisting(makeDoc(u"Saved", 200), &stored);
    EXPECT_TRUE(stored);
}

TEST_F(LibraryTest, FindBySourceOrTitlePrefix) {
    Library library(lib());
    auto bySource = library.saveOrExisting(makeDoc(u"Book One", 100, u"https://books/ebooks/1", u"epub"));
    auto untitled = library.saveOrExisting(makeDoc(u"Moby Dick; or, The Whale", 200, std::nullopt, u"epub"));
    struct Case {
        std::u16string source;
        std::optional<std::u16string> prefix;
        std::shared_ptr<Doc> expected;
    } cases[] = {
        {u"https://books/ebooks/1", std::nullopt, bySource},
        {u"https://books/ebooks/2", u"Moby Dick", untitled},
        {u"https://books/ebooks/2", std::nullopt, nullptr},
        {u"https://books/ebooks/2", u"Book One", nullptr},  // it has a source of its own
        {u"https://books/ebooks/3", u"Whale", nullptr},
    };
    for (const auto& c : cases) {
        auto got = library.find(c.source, c.prefix);
        EXPECT_EQ(got ? got->id : u"", c.expected ? c.expected->id : u"");
    }
}

TEST_F(LibraryTest, ADocumentThatCannotBeReadIsAbsentAndLeavesTheCache) {
    Library library(lib());
    auto d = library.saveOrExisting(makeDoc(u"Soon broken", 100));
    ASSERT_EQ(library.doc(d->id), d);
    library.loaded.clear();
    spit(lib() / (QString::fromStdU16String(d->id).toStdString() + ".json"), "{ not json");
    EXPECT_EQ(library.doc(d->id), nullptr);
    EXPECT_EQ(library.loaded.count(d->id), 0u);
    EXPECT_EQ(library.doc(u"no-such-id"), nullptr);
}
