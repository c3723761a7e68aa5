#pragma once

#include "pexjsonv2_export.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

// One node of the hierarchical data tree that both protocol ends hold.
// A node owns its entry map, every variant in it and every child node held
// in it (a child is stored as a variant of type void*). Values are addressed
// by dotted key paths; the text DELETE_FIELD marks a deleted key.
class PEXJSONV2_EXPORT V2_Data
{
public:
    using Map = QMap<QString, QVariant*>;
    using RapidWriter = rapidjson::Writer<rapidjson::StringBuffer>;

    static const QString DELETE_FIELD;

    V2_Data();
    explicit V2_Data(const QString& name);
    explicit V2_Data(const V2_Data* other);
    // Both by-reference forms copy deeply, like the by-pointer forms.
    V2_Data(const V2_Data& other);
    V2_Data& operator=(const V2_Data& other);
    V2_Data& operator=(const V2_Data* other);
    ~V2_Data();

    static bool isNumber(int type);

    // Lookup
    V2_Data* getInLevelV2_Data(const QString& key) const;
    V2_Data* getV2_Data(const QString& path) const;
    V2_Data* getDataPointer(const QString& path);
    V2_Data* getDataPointer(QStringList& parts);
    V2_Data* getSingleDataPointer(const QString& key);
    V2_Data* getOrCreateDataPointer(const QString& path);
    V2_Data* getOrCreateSingleDataPointer(const QString& key);
    V2_Data* getOrCreateInLevelSingleDataPointer(const QString& key);
    bool keyExists(const QString& key) const;
    Map* datas() const;
    void setDatas(Map* datas);

    // Accessors
    QString getName() const;
    void setName(const QString& name);
    QString getPath() const;
    // Worked out and kept when first asked for: only for a tree that one
    // thread uses. A tree that several threads read at once (a shared
    // publication) is read through copies, which never fill its paths.
    QString getCalculatedPath() const;
    void setCalculatedPath(const QString& path);
    V2_Data* getV2Parent() const;
    void setV2Parent(V2_Data* parent);
    bool getIgnorePath() const;
    void setIgnorePath(bool ignorePath);
    bool getList() const;
    void setList(bool list);
    bool isRoot() const;
    void setRoot(bool root);
    bool isEmpty() const;

    // Typed getters: the default when the path or the value of the right kind is missing.
    QString getString(const QString& path, const QString& defaultValue = QString()) const;
    int getInt(const QString& path, int defaultValue = 0) const;
    qint64 getLongLong(const QString& path, qint64 defaultValue = 0) const;
    quint64 getULongLong(const QString& path, quint64 defaultValue = 0) const;
    double getDouble(const QString& path, double defaultValue = 0.0) const;
    bool getBool(const QString& path, bool defaultValue = false) const;

    // Insertion: every form replaces an existing entry under the same key.
    void insertData(const QString& key, unsigned short value);
    void insertData(const QString& key, int value);
    void insertData(const QString& key, unsigned int value);
    void insertData(const QString& key, double value);
    void insertData(const QString& key, const QString& value);
    void insertData(const QString& key, const char* value);
    void insertData(const QString& key, qint64 value);
    void insertData(const QString& key, quint64 value);
    void insertData(const QString& key, bool value);
    void insertData(const QString& key, V2_Data* child);
    void insertData(V2_Data* child);
    void insertData(const QString& key, QVariant* value);
    void insertData(const QString& key, const rapidjson::Value& value);

    // Deletion and clean-up
    void deleteKey(const QString& key);
    void insertDeletedData(const QString& key);
    bool isDeleted(const QString& path) const;
    void clearData();
    void clear();
    void clearEmptyData();
    void clearNulls();

    // Merging
    void fromQvariantMap(QMap<QString, QVariant>* map, V2_Data* deleted);
    void fromQvariantMapWithNull(QMap<QString, QVariant>* map, V2_Data* deleted);
    // The same merge as fromQvariantMap, read straight from a parsed JSON
    // object; the client's hot path uses it to skip the variant conversion.
    void fromRapidJson(const rapidjson::Value& object, V2_Data* deleted);
    void appendData(const QString& key, QVariant* value);

    // Comparison
    static bool variantEquals(const QVariant* a, const QVariant* b);
    bool equals(const V2_Data* other) const;
    V2_Data* difference(const V2_Data* other) const;

    // Output
    QJsonObject getJson(const QString& path = QString(), bool withIgnorePath = false) const;
    QJsonArray getJsonArray(const QString& path = QString()) const;
    QJsonObject toJson(const QString& path, bool wrap) const;
    QString getJsonString(bool withIgnorePath) const;
    QString getJsonString(const QString& path, bool wrap) const;
    static QString fromJsonToString(const QJsonObject& object);
    void getCompactData(QMap<QString, QVariant*>* out, const QString& prefix) const;
    QString getJsonCompactString(const QString& prefix = QString()) const;
    // The compact JSON of getJsonString(false), written straight to UTF-8
    // (the publishing server's line bodies). Integers are written exactly.
    // With withIgnorePath, a node that ignores its path says so, as in getJson.
    QByteArray getJsonUtf8(bool withIgnorePath = false) const;
    void getRapidJson(RapidWriter& writer) const;
    void getRapidJson(RapidWriter& writer, const QString& path, bool wrap) const;

    // Debug dumps to the debug log
    void print(const QString& indent = QString()) const;
    void shortPrint(const QString& indent = QString()) const;
    void shortShortPrint(const QString& indent = QString()) const;

    // A variant that holds a child node, and the node it holds (none for a scalar).
    static bool holdsNode(const QVariant* value);
    // A variant that holds the deletion marker (written as null).
    static bool isDeleteMarker(const QVariant* value);
    static V2_Data* nodeOf(const QVariant* value);

private:
    // The node holding the path's last part, and that part in lastKey,
    // whose characters are the path's own: valid while the path is.
    const V2_Data* valueOwner(const QString& path, QString* lastKey) const;
    const QVariant* valueAt(const QString& path) const;
    void storeValue(const QString& key, const QVariant& value);
    QString getPathUnder(const V2_Data* parent) const;
    // The path is worked out when first asked for: most nodes of a large
    // mirror are never asked, and building every path string costs as much
    // as the rest of the tree. A node whose path is unknown has only
    // descendants whose paths are unknown too.
    void forgetPath();
    // The path as getCalculatedPath gives it, without keeping anything.
    QString peekPath() const;
    void mergeVariantMap(QMap<QString, QVariant>* map, V2_Data* deleted, bool withNull);
    void mergeVariantMember(const QString& key, QVariant& value, V2_Data* deleted, bool withNull);
    struct MergeContext;
    void mergeRapidObject(const rapidjson::Value& object, V2_Data* deleted, bool withNull, MergeContext& context);
    void mergeRapidMember(const QString& key, const rapidjson::Value& value, V2_Data* deleted, bool withNull, MergeContext& context);
    void appendEntriesOf(V2_Data* incoming);
    V2_Data* childForMerge(const QString& key);
    void recordDeleted(const QString& key, V2_Data* deleted) const;
    void copyEntriesFrom(const V2_Data* other);
    void writeCompact(QJsonObject& out, const QString& prefix) const;
    void writeWire(RapidWriter& writer, bool asArray, bool withIgnorePath) const;
    void printEntries(const QString& indent, bool full, bool withPath) const;

    // Most nodes keep their entries in their own map: a separate allocation
    // per node would cost a large mirror tens of megabytes.
    Map m_ownMap;
    Map* m_datas;
    QString m_name;
    mutable QString m_calculatedPath;
    V2_Data* m_parent;
    // The flags side by side keep the node at six words.
    mutable bool m_pathKnown = true;
    bool m_ignorePath;
    bool m_list;
};

Q_DECLARE_METATYPE(V2_Data*)
