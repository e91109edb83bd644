#include "PropertyList.h"

#include "Regex.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tovan::PropertyList {

using json = nlohmann::json;

namespace {

// Binary lists: a header, objects, a table of object offsets and a 32-byte
// trailer that says how wide offsets and references are and where the table is.
class Binary {
public:
    explicit Binary(std::string_view b) : b_(b) {}

    std::optional<json> top() {
        if (b_.size() < 8 + 32 || b_.substr(0, 8) != "bplist00")
            return std::nullopt;
        const size_t t = b_.size() - 32;
        offsetSize_ = byte(t + 6);
        refSize_ = byte(t + 7);
        count_ = be(t + 8, 8);
        const uint64_t top = be(t + 16, 8);
        table_ = be(t + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8)
            return std::nullopt;
        // The table must fit between the header and the trailer.
        if (count_ == 0 || top >= count_ || table_ < 8 || table_ > t ||
            count_ > (t - table_) / offsetSize_)
            return std::nullopt;
        inUse_.assign(count_, false);
        return object(top, 0);
    }

private:
    std::string_view b_;
    unsigned offsetSize_ = 0, refSize_ = 0;
    uint64_t count_ = 0, table_ = 0;
    std::vector<bool> inUse_;  // objects on the current path: a cycle is malformed
    int values_ = 0;

    unsigned byte(size_t at) const { return static_cast<unsigned char>(b_[at]); }
    uint64_t be(size_t at, unsigned n) const {
        uint64_t v = 0;
        for (unsigned i = 0; i < n; ++i)
            v = (v << 8) | byte(at + i);
        return v;
    }
    // Objects live between the header and the offset table.
    bool fits(uint64_t at, uint64_t n) const { return at <= table_ && n <= table_ - at; }

    std::optional<uint64_t> offsetOf(uint64_t obj) const {
        const uint64_t at = be(static_cast<size_t>(table_ + obj * offsetSize_), offsetSize_);
        if (at < 8 || at >= table_)
            return std::nullopt;
        return at;
    }

    // The length that follows a marker whose low nibble is 0xF: an integer object.
    bool length(uint64_t& at, unsigned nibble, uint64_t& n) const {
        if (nibble != 0xF) {
            n = nibble;
            return true;
        }
        if (!fits(at, 1))
            return false;
        const unsigned m = byte(at);
        if ((m >> 4) != 0x1 || (m & 0xF) > 3)
            return false;
        const unsigned w = 1u << (m & 0xF);
        if (!fits(at + 1, w))
            return false;
        n = be(at + 1, w);
        at += 1 + w;
        return true;
    }

    std::optional<json> object(uint64_t obj, int depth) {
        if (obj >= count_ || depth > MAX_DEPTH || inUse_[obj] || ++values_ > MAX_VALUES)
            return std::nullopt;
        const auto start = offsetOf(obj);
        if (!start)
            return std::nullopt;
        uint64_t at = *start;
        const unsigned m = byte(at);
        const unsigned type = m >> 4, nib = m & 0xF;
        ++at;
        switch (type) {
        case 0x0:
            if (m == 0x08) return json(false);
            if (m == 0x09) return json(true);
            if (m == 0x00) return json(nullptr);
            return std::nullopt;
        case 0x1: {
            if (nib > 4)
                return std::nullopt;
            const unsigned w = 1u << nib;
            if (!fits(at, w))
                return std::nullopt;
            if (w == 16)  // 128-bit: only the low 64 bits carry values in practice
                return json(static_cast<int64_t>(be(at + 8, 8)));
            // 8-byte integers are signed; narrower ones are unsigned and fit as well.
            return json(static_cast<int64_t>(be(at, w)));
        }
        case 0x2:
        case 0x3: {
            if (type == 0x3 && m != 0x33)
                return std::nullopt;
            const unsigned w = 1u << nib;
            if ((w != 4 && w != 8) || !fits(at, w))
                return std::nullopt;
            double d;
            if (w == 4) {
                const uint32_t u = static_cast<uint32_t>(be(at, 4));
                float f;
                std::memcpy(&f, &u, 4);
                d = f;
            } else {
                const uint64_t u = be(at, 8);
                std::memcpy(&d, &u, 8);
            }
            if (!std::isfinite(d))  // JSON holds no infinities
                return std::nullopt;
            return json(d);
        }
        case 0x4: {
            uint64_t n;
            if (!length(at, nib, n) || !fits(at, n))
                return std::nullopt;
            const auto* p = reinterpret_cast<const uint8_t*>(b_.data() + at);
            return json::binary(std::vector<uint8_t>(p, p + n));
        }
        case 0x5: {
            uint64_t n;
            if (!length(at, nib, n) || !fits(at, n))
                return std::nullopt;
            // Declared ASCII; bytes above 0x7F are read as Latin-1 so the result is valid UTF-8.
            std::u16string s;
            s.reserve(n);
            for (uint64_t i = 0; i < n; ++i)
                s.push_back(static_cast<char16_t>(byte(at + i)));
            return json(u8(s));
        }
        case 0x6: {
            uint64_t n;
            if (!length(at, nib, n) || n > UINT64_MAX / 2 || !fits(at, n * 2))
                return std::nullopt;
            std::u16string s;
            s.reserve(n);
            for (uint64_t i = 0; i < n; ++i)
                s.push_back(static_cast<char16_t>(be(at + 2 * i, 2)));
            return json(u8(s));  // lone surrogates become U+FFFD
        }
        case 0x8: {
            const unsigned w = nib + 1;
            if (w > 8 || !fits(at, w))
                return std::nullopt;
            return json(static_cast<int64_t>(be(at, w)));
        }
        case 0xA:
        case 0xC:
        case 0xD: {
            uint64_t n;
            if (!length(at, nib, n))
                return std::nullopt;
            const uint64_t refs = type == 0xD ? 2 : 1;
            if (n > (table_ - at) / refSize_ / refs)
                return std::nullopt;
            inUse_[obj] = true;
            std::optional<json> out = type == 0xD ? dict(at, n, depth) : array(at, n, depth);
            inUse_[obj] = false;
            return out;
        }
        default:
            return std::nullopt;
        }
    }

    uint64_t ref(uint64_t at, uint64_t i) const { return be(static_cast<size_t>(at + i * refSize_), refSize_); }

    std::optional<json> array(uint64_t at, uint64_t n, int depth) {
        json out = json::array();
        for (uint64_t i = 0; i < n; ++i) {
            auto v = object(ref(at, i), depth + 1);
            if (!v)
                return std::nullopt;
            out.push_back(std::move(*v));
        }
        return out;
    }

    std::optional<json> dict(uint64_t at, uint64_t n, int depth) {
        json out = json::object();
        for (uint64_t i = 0; i < n; ++i) {
            auto k = object(ref(at, i), depth + 1);
            if (!k || !k->is_string())
                return std::nullopt;
            auto v = object(ref(at, n + i), depth + 1);
            if (!v)
                return std::nullopt;
            out[k->get<std::string>()] = std::move(*v);
        }
        return out;
    }
};

// XML lists: <plist><dict>…</dict></plist> with the usual element names.
class Xml {
public:
    explicit Xml(std::string_view b)
        : r_(QByteArray(b.data(), static_cast<qsizetype>(b.size()))) {}

    std::optional<json> top() {
        if (!nextElement() || r_.name() != QStringLiteral("plist"))
            return std::nullopt;
        if (!nextElement())
            return std::nullopt;
        auto v = value(0);
        if (!v)
            return std::nullopt;
        // Only white space and the closing tag may follow.
        while (!r_.atEnd()) {
            r_.readNext();
            if (r_.isStartElement())
                return std::nullopt;
        }
        if (r_.hasError())
            return std::nullopt;
        return v;
    }

private:
    QXmlStreamReader r_;
    int values_ = 0;

    bool nextElement() {
        while (!r_.atEnd()) {
            r_.readNext();
            if (r_.isStartElement())
                return true;
            if (r_.isEndElement())
                return false;
            if (r_.isCharacters() && !r_.isWhitespace())
                return false;
        }
        return false;
    }

    std::optional<std::string> text() {
        const QString t = r_.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (r_.hasError())
            return std::nullopt;
        return t.toStdString();
    }

    // The reader stands on a start element.
    std::optional<json> value(int depth) {
        if (depth > MAX_DEPTH || ++values_ > MAX_VALUES)
            return std::nullopt;
        const QString name = r_.name().toString();
        if (name == QStringLiteral("dict")) {
            json out = json::object();
            while (nextElement()) {
                if (r_.name() != QStringLiteral("key"))
                    return std::nullopt;
                auto k = text();
                if (!k || !nextElement())
                    return std::nullopt;
                auto v = value(depth + 1);
                if (!v)
                    return std::nullopt;
                out[*k] = std::move(*v);
            }
            if (r_.hasError() || !r_.isEndElement())
                return std::nullopt;
            return out;
        }
        if (name == QStringLiteral("array")) {
            json out = json::array();
            while (nextElement()) {
                auto v = value(depth + 1);
                if (!v)
                    return std::nullopt;
                out.push_back(std::move(*v));
            }
            if (r_.hasError() || !r_.isEndElement())
                return std::nullopt;
            return out;
        }
        if (name == QStringLiteral("true") || name == QStringLiteral("false")) {
            const bool v = name == QStringLiteral("true");
            if (!text())
                return std::nullopt;
            return json(v);
        }
        auto t = text();
        if (!t)
            return std::nullopt;
        if (name == QStringLiteral("string"))
            return json(*t);
        if (name == QStringLiteral("integer")) {
            bool ok = false;
            const qlonglong v = QString::fromStdString(*t).trimmed().toLongLong(&ok);
            if (!ok)
                return std::nullopt;
            return json(static_cast<int64_t>(v));
        }
        if (name == QStringLiteral("real")) {
            bool ok = false;
            const double v = QString::fromStdString(*t).trimmed().toDouble(&ok);
            if (!ok || !std::isfinite(v))
                return std::nullopt;
            return json(v);
        }
        if (name == QStringLiteral("data")) {
            const QByteArray raw = QByteArray::fromStdString(*t);
            auto d = QByteArray::fromBase64Encoding(raw.simplified().replace(' ', ""),
                                                    QByteArray::AbortOnBase64DecodingErrors);
            if (!d)
                return std::nullopt;
            const auto* p = reinterpret_cast<const uint8_t*>(d.decoded.constData());
            return json::binary(std::vector<uint8_t>(p, p + d.decoded.size()));
        }
        if (name == QStringLiteral("date"))
            return json(*t);  // kept as its ISO 8601 text
        return std::nullopt;
    }
};

}  // namespace

std::optional<json> readBinary(std::string_view bytes) { return Binary(bytes).top(); }

std::optional<json> readXml(std::string_view bytes) { return Xml(bytes).top(); }

std::optional<json> read(std::string_view bytes) {
    if (bytes.substr(0, 6) == "bplist")
        return readBinary(bytes);
    return readXml(bytes);
}

}  // namespace tovan::PropertyList
