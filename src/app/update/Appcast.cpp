#include "Appcast.h"

#include <QXmlStreamReader>

#include <charconv>

namespace ambrel {

namespace {

constexpr std::size_t maximumItems = 1000;

std::string attribute(const QXmlStreamAttributes& attributes, QStringView name) {
    for (const auto& candidate : attributes) {
        if (candidate.name() == name) {
            return candidate.value().toString().toStdString();
        }
    }
    return {};
}

std::optional<std::uint64_t> number(const std::string& text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

Appcast Appcast::parse(std::string_view xml) {
    if (xml.size() > maximumBytes) {
        throw Error("the update feed is too large");
    }
    QXmlStreamReader reader(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())));
    Appcast appcast;
    bool sawFeed = false;
    std::optional<Item> item;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isDTD()) {
            // A feed needs no declarations; entities could only make it grow.
            throw Error("the update feed declares a document type");
        }
        if (reader.isStartElement()) {
            const auto name = reader.name();
            if (name == u"rss" || name == u"channel") {
                sawFeed = true;
            } else if (name == u"item") {
                if (appcast.items.size() >= maximumItems) {
                    throw Error("the update feed has too many releases");
                }
                item = Item{};
            } else if (item && name == u"version") {
                item->version = reader.readElementText().trimmed().toStdString();
            } else if (item && name == u"shortVersionString") {
                item->shortVersion = reader.readElementText().trimmed().toStdString();
            } else if (item && name == u"link") {
                item->link = reader.readElementText().trimmed().toStdString();
            } else if (item && name == u"enclosure") {
                const auto attributes = reader.attributes();
                Download download;
                download.url = attribute(attributes, u"url");
                download.signature = attribute(attributes, u"edSignature");
                const auto length = number(attribute(attributes, u"length"));
                if (item->version.empty()) {
                    item->version = attribute(attributes, u"version");
                }
                if (item->shortVersion.empty()) {
                    item->shortVersion = attribute(attributes, u"shortVersionString");
                }
                // A download without its length or signature cannot be checked: not offered.
                if (!download.url.empty() && length && !download.signature.empty()) {
                    download.length = *length;
                    item->downloads.push_back(std::move(download));
                }
            }
        } else if (reader.isEndElement() && reader.name() == u"item" && item) {
            appcast.items.push_back(std::move(*item));
            item.reset();
        }
    }
    if (reader.hasError()) {
        throw Error("the update feed is not valid XML: " + reader.errorString().toStdString());
    }
    if (!sawFeed) {
        throw Error("the update feed is not an RSS feed");
    }
    return appcast;
}

std::optional<Appcast::Item> Appcast::newest(const core::AppVersion& current) const {
    std::optional<Item> best;
    std::optional<core::AppVersion> bestVersion;
    for (const auto& item : items) {
        const auto version = core::AppVersion::parse(item.version);
        if (!version || *version <= current || item.downloads.empty()) {
            continue;
        }
        if (!bestVersion || *version > *bestVersion) {
            bestVersion = version;
            best = item;
            if (best->shortVersion.empty()) {
                best->shortVersion = best->version;
            }
        }
    }
    return best;
}

} // namespace ambrel
