#include "Spoken.h"

#include <gtest/gtest.h>

using namespace tovan;

TEST(SpokenLinks, AddressesHandlesAndTagsAreReadAsWords) {
    struct Case {
        const char *in, *out;
    } cases[] = {
        // The path is read; scheme, port, query and fragment are not.
        {"see https://www.Example.com:8443/docs?id=7 now", "see  example dot com slash docs  now"},
        {"at https://m.shop-site.co.uk/cart today", "at  shop site dot co dot uk slash cart  today"},
        {"HTTP://WWW.M.Example.org", " example dot org "},
        {"http://m.www.example.org/x", " www dot example dot org slash x "},
        {"open http://localhost:8080/x", "open http://localhost:8080/x"},
        {"visit www.example.org.", "visit  example dot org ."},
        {"see https://example.com/a/b.", "see  example dot com slash a slash b. "},  // the stop ends the sentence
        {"see https://example.com/a/b.c now", "see  example dot com slash a slash b dot c  now"},
        {"mail Jane.Doe+news@Mail.Example.com soon", "mail  Jane dot Doe plus news at mail dot example dot com  soon"},
        {"first_last-name@ex.io", " first underscore last dash name at ex dot io "},
        {"go to example.com or my-site.io", "go to example dot com or my site dot io"},
        {"x.com and example.xyz", "x.com and example.xyz"},
        {"jane@www.example.com", "jane@ example dot com "},
        {"Ping @jane_doe and @Night_Owl", "Ping at jane doe and at Night Owl"},
        {"@a and me@home", "@a and me@home"},
        {"#launch_day #release_notes_2 #1 &#39;", "hashtag launch day hashtag release notes 2 #1 &#39;"},
        {"a#tag", "a#tag"},
        {"Nothing to read here, 3.5 and 1-2.", "Nothing to read here, 3.5 and 1-2."},
    };
    for (const Case& c : cases) EXPECT_EQ(u8(Spoken::links(u16(c.in))), c.out) << c.in;
}

TEST(SpokenLinks, HostDropsItsPrefixesOnceInOrder) {
    EXPECT_EQ(u8(Spoken::host(u"WWW.M.Shop-Site.CO.UK")), "shop site dot co dot uk");
    EXPECT_EQ(u8(Spoken::host(u"m.www.example.org")), "www dot example dot org");
    EXPECT_EQ(u8(Spoken::host(u"www.www.a.io")), "www dot a dot io");
    EXPECT_EQ(u8(Spoken::host(u"\u00C9COLE.fr")), "\u00E9cole dot fr");
}
