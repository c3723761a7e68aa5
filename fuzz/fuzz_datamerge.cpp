// The data tree's two merge entry points (rapidjson and variant map) agree,
// and a difference applied to its base gives the other tree. Input: two JSON
// objects separated by a newline.
#include "FuzzSupport.h"
#include "V2_Data.h"
#include "V2_message.h"

#include <QSet>

#include <memory>

namespace {

std::unique_ptr<V2_Data> root()
{
    auto tree = std::make_unique<V2_Data>(QStringLiteral("ROOT"));
    tree->setRoot(true);
    return tree;
}

// A null inside an array keeps its slot as a deletion marker, so a list
// that shrinks keeps markers where the other tree has no entry: the two
// read the same, and compare the same once the markers are gone.
void dropListMarkers(V2_Data* node)
{
    const QStringList keys = node->datas()->keys();
    for (const QString& key : keys) {
        QVariant* value = node->datas()->value(key);
        if (V2_Data* child = V2_Data::nodeOf(value))
            dropListMarkers(child);
        else if (node->getList() && value->toString() == V2_Data::DELETE_FIELD)
            node->deleteKey(key);
    }
}

// Repeated member names: the rapidjson merge applies each occurrence in
// turn, the variant map keeps the last one; both are sane, they differ.
bool repeatsNames(const rapidjson::Value& value)
{
    if (value.IsArray()) {
        for (const auto& element : value.GetArray()) {
            if (repeatsNames(element))
                return true;
        }
    }
    if (!value.IsObject())
        return false;
    QSet<QByteArray> names;
    for (const auto& member : value.GetObject()) {
        const QByteArray name(member.name.GetString(), int(member.name.GetStringLength()));
        if (names.contains(name) || repeatsNames(member.value))
            return true;
        names.insert(name);
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::quietApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = FuzzSupport::bytes(data, size);
    const int split = input.indexOf('\n');
    const QByteArray first = split < 0 ? input : input.left(split);
    const QByteArray second = split < 0 ? QByteArray("{}") : input.mid(split + 1);
    V2_message a(QStringLiteral("JSON:1::") + QString::fromUtf8(first));
    V2_message b(QStringLiteral("JSON:1::") + QString::fromUtf8(second));
    if (!a.isValid() || !b.isValid() || !a.rapidJsonDocument() || !b.rapidJsonDocument())
        return 0;
    if (repeatsNames(*a.rapidJsonDocument()) || repeatsNames(*b.rapidJsonDocument()))
        return 0;

    auto viaRapid = root();
    auto viaVariants = root();
    auto deletedRapid = root();
    auto deletedVariants = root();
    for (V2_message* message : {&a, &b}) {
        viaRapid->fromRapidJson(*message->rapidJsonDocument(), deletedRapid.get());
        viaVariants->fromQvariantMap(message->jsonParams(), deletedVariants.get());
    }
    if (!viaRapid->equals(viaVariants.get()) || !deletedRapid->equals(deletedVariants.get()))
        FuzzSupport::broken("both merges agree", input + "\n---\n" + viaRapid->getJsonString(true).toUtf8() + "\n" + viaVariants->getJsonString(true).toUtf8()
                                                     + "\n" + deletedRapid->getJsonString(true).toUtf8() + "\n" + deletedVariants->getJsonString(true).toUtf8());

    // A key's output name is the part after its first '#', by convention:
    // such trees do not round-trip through their JSON, by design.
    if (input.contains('#'))
        return 0;
    auto base = root();
    auto target = root();
    base->fromRapidJson(*a.rapidJsonDocument(), nullptr);
    target->fromRapidJson(*b.rapidJsonDocument(), nullptr);
    const std::unique_ptr<V2_Data> diff(base->difference(target.get()));
    V2_message patch(QStringLiteral("JSON:1::") + diff->getJsonString(false));
    if (!patch.isValid() || !patch.rapidJsonDocument())
        FuzzSupport::broken("a difference is a valid line", input);
    auto applied = std::make_unique<V2_Data>(base.get());
    applied->fromRapidJson(*patch.rapidJsonDocument(), nullptr);
    dropListMarkers(applied.get());
    dropListMarkers(target.get());
    // Compared as written: 2.0 goes out as 2 and comes back an integer.
    if (applied->getJsonString(false) != target->getJsonString(false))
        FuzzSupport::broken("base + difference = target", input + "\n---\n" + diff->getJsonString(false).toUtf8());
    return 0;
}
