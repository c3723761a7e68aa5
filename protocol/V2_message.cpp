#include "V2_message.h"

#include "LogThrottle.h"
#include "V2_Data.h"

#include <QDebug>
#include <QJsonArray>

#include <rapidjson/error/en.h>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

const QStringList V2_message::COMMANDS = {
    QStringLiteral("LOGIN"),
    QStringLiteral("JOIN"),
    QStringLiteral("LEAVE"),
    QStringLiteral("PING"),
    QStringLiteral("ACK"),
    QStringLiteral("JSON"),
    QStringLiteral("ERROR"),
    QStringLiteral("CMD"),
    QStringLiteral("REPLY"),
    QStringLiteral("TIME"),
};

namespace {

const QString kWrongParameters = QStringLiteral("Wrong number of parameters");
const QString kCommandNotValid = QStringLiteral("Command not valid");
const QString kParseError = QStringLiteral("Error parsing message JSON");

// Deepest nesting of objects and arrays in a JSON text; strings are skipped.
// Run before parsing so that no recursive step ever sees a hostile depth.
int jsonDepth(const char* data, int size, int limit)
{
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    for (int i = 0; i < size; ++i) {
        const char c = data[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '{':
        case '[':
            if (++depth > deepest) {
                deepest = depth;
                if (deepest > limit)
                    return deepest;
            }
            break;
        case '}':
        case ']':
            --depth;
            break;
        default:
            break;
        }
    }
    return deepest;
}

bool onlyBlanks(const char* data, int size)
{
    for (int i = 0; i < size; ++i) {
        if (data[i] != ' ' && data[i] != '\t' && data[i] != '\r' && data[i] != '\n')
            return false;
    }
    return true;
}

// Opening brackets in a text: a bound on its depth that a tight loop counts
// much faster than the exact scan below, which only runs past the limit.
int openings(const char* data, int size)
{
    int count = 0;
    for (const char bracket : {'{', '['}) {
        const char* end = data + size;
        for (const char* p = data; (p = static_cast<const char*>(std::memchr(p, bracket, static_cast<size_t>(end - p)))); ++p)
            ++count;
    }
    return count;
}

// Number literals are checked before rapidjson converts them: its
// full-precision conversion reads past its table of powers of ten for long
// literals with large exponents, and returns wrong values without an error
// for literals beyond the range of a double. A literal passes when its
// integer part, its fraction and its exponent have at most
// MAX_NUMBER_DIGITS digits each and its value is zero or lies between the
// smallest and the largest double (5e-324 and 1.7976931348623157e308, above
// which nothing is written with 17 significant digits).
const char kLargestDouble[] = "17976931348623157";

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether the literal that starts at p fits; next is set past it.
bool numberFits(const char* p, const char* end, const char** next)
{
    if (*p == '-')
        ++p;
    const char* intBegin = p;
    while (p < end && isDigit(*p))
        ++p;
    const char* intEnd = p;
    const char* fracBegin = p;
    if (p < end && *p == '.') {
        fracBegin = ++p;
        while (p < end && isDigit(*p))
            ++p;
    }
    const char* fracEnd = p;
    const bool partsFit = intEnd - intBegin <= V2_message::MAX_NUMBER_DIGITS && fracEnd - fracBegin <= V2_message::MAX_NUMBER_DIGITS;
    if (p == end || (*p != 'e' && *p != 'E')) {
        // Without an exponent such a literal lies within the range.
        *next = p;
        return partsFit;
    }
    ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    int exponent = 0;
    int exponentDigits = 0;
    for (; p < end && isDigit(*p); ++p, ++exponentDigits) {
        if (exponent < 100000)
            exponent = exponent * 10 + (*p - '0');
    }
    *next = p;
    if (!partsFit || exponentDigits > V2_message::MAX_NUMBER_DIGITS)
        return false;

    // The power of ten of the first significant digit.
    const char* first = intBegin;
    while (first < intEnd && *first == '0')
        ++first;
    int magnitude = 0;
    if (first < intEnd) {
        magnitude = static_cast<int>(intEnd - first) - 1;
    } else {
        first = fracBegin;
        while (first < fracEnd && *first == '0')
            ++first;
        if (first == fracEnd)
            return true; // zero
        magnitude = -static_cast<int>(first - fracBegin) - 1;
    }
    magnitude += negative ? -exponent : exponent;
    if (magnitude != 308)
        return magnitude >= -324 && magnitude < 308;
    // At the top of the range: compare the significant digits with the largest double's.
    const char* largest = kLargestDouble;
    for (const char* d = first; d < fracEnd; ++d) {
        if (d == intEnd)
            d = fracBegin;
        if (d == fracEnd)
            break;
        if (*largest) {
            if (*d != *largest)
                return *d < *largest;
            ++largest;
        } else if (*d != '0') {
            return false;
        }
    }
    return true;
}

// Whether every number literal of a JSON text fits (strings are skipped).
// A text that is no JSON may pass: the parser then reports it.
bool numbersFit(const char* p, const char* end)
{
    while (p < end) {
        const char c = *p;
        if (c == '"') {
            ++p;
            while (p < end && *p != '"')
                p += *p == '\\' && p + 1 < end ? 2 : 1;
            p = p < end ? p + 1 : end;
        } else if (isDigit(c) || c == '-') {
            if (!numberFits(p, end, &p))
                return false;
        } else {
            ++p;
        }
    }
    return true;
}

// Whether a JSON text may hold a literal that needs numbersFit: a digit
// followed by an exponent marker, or two 16-byte blocks in a row that are
// all digits (which any run of 47 digits has; a double written with 17
// digits has no such run). False proves that every literal fits: none has
// an exponent or a part of more than 46 digits. Sixteen bytes a compare,
// strings not told apart: a line passes at a small part of its parsing
// cost, and the rare one that does not (a number written with an exponent,
// a long run of digits in a string) is scanned exactly.
bool mayHoldOddNumbers(const char* p, const char* end)
{
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i belowZero = _mm_set1_epi8('0' - 1);
    const __m128i aboveNine = _mm_set1_epi8('9' + 1);
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i lowerE = _mm_set1_epi8('e');
    // 64 bytes a step, one bit a byte, four 16-bit lanes (blocks) a step.
    quint64 digitBefore = 0; // the step before ended in a digit
    quint64 blockBefore = 0; // the digits of the step before's last block
    char tail[64];
    for (;;) {
        const char* step = p;
        const bool last = end - p <= 64;
        if (last) {
            std::memset(tail, 0, sizeof tail);
            std::memcpy(tail, p, static_cast<size_t>(end - p));
            step = tail;
        }
        quint64 digits = 0;
        quint64 markers = 0;
        const auto block = [&](int i) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(step + 16 * i));
            const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(bytes, belowZero), _mm_cmplt_epi8(bytes, aboveNine));
            digits |= static_cast<quint64>(_mm_movemask_epi8(digit)) << (16 * i);
            markers |= static_cast<quint64>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(bytes, caseBit), lowerE))) << (16 * i);
        };
        block(0);
        block(1);
        block(2);
        block(3);
        // A lane of gaps is zero where a block of digits follows another.
        const quint64 gaps = ~(digits & ((digits << 16) | blockBefore));
        const bool blocksOfDigits = ((gaps - 0x0001000100010001ULL) & ~gaps & 0x8000800080008000ULL) != 0;
        if ((markers & ((digits << 1) | digitBefore)) != 0 || blocksOfDigits)
            return true;
        if (last)
            return false;
        digitBefore = digits >> 63;
        blockBefore = digits >> 48;
        p += 64;
    }
#else
    Q_UNUSED(p)
    Q_UNUSED(end)
    return true;
#endif
}

// Parse errors of received lines go to the debug log, a limited number a
// second: a peer sending nothing but bad lines must not flood it.
void logParseError(const QString& text)
{
    static LogThrottle throttle(20);
    int suppressed = 0;
    if (!throttle.allow(&suppressed))
        return;
    if (suppressed)
        qDebug().noquote() << QStringLiteral("JSON parse error: %1 more not logged").arg(suppressed);
    qDebug().noquote() << "JSON parse error:" << text;
}

QVariant toVariant(const rapidjson::Value& value)
{
    switch (value.GetType()) {
    case rapidjson::kNullType:
        return QVariant::fromValue(nullptr);
    case rapidjson::kFalseType:
        return QVariant(false);
    case rapidjson::kTrueType:
        return QVariant(true);
    case rapidjson::kObjectType: {
        QVariantMap map;
        for (auto it = value.MemberBegin(); it != value.MemberEnd(); ++it)
            map.insert(QString::fromUtf8(it->name.GetString(), static_cast<int>(it->name.GetStringLength())), toVariant(it->value));
        return map;
    }
    case rapidjson::kArrayType: {
        QVariantList list;
        list.reserve(static_cast<int>(value.Size()));
        for (const auto& element : value.GetArray())
            list.append(toVariant(element));
        return list;
    }
    case rapidjson::kStringType:
        return QString::fromUtf8(value.GetString(), static_cast<int>(value.GetStringLength()));
    case rapidjson::kNumberType:
        if (value.IsUint())
            return QVariant(value.GetUint());
        if (value.IsInt())
            return QVariant(value.GetInt());
        if (value.IsUint64())
            return QVariant(static_cast<quint64>(value.GetUint64()));
        if (value.IsInt64())
            return QVariant(static_cast<qint64>(value.GetInt64()));
        return QVariant(value.GetDouble());
    }
    return QVariant();
}

QString errorObject(const QString& reason, const QString& advice)
{
    QString object = QStringLiteral("{\"reason\":") + V2_message::jsonQuoted(reason);
    if (!advice.isEmpty())
        object += QStringLiteral(",\"advice\":") + V2_message::jsonQuoted(advice);
    return object + QLatin1Char('}');
}

QString compact(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

// The parsed document and the buffer it was parsed in place from; shared by copies.
struct V2_message::ParsedPayload {
    QByteArray buffer;
    rapidjson::Document document;
};

V2_message::V2_message(const QString& line)
{
    setError(QStringLiteral("Not initialized"), QStringLiteral("Please initialize"));
    if (!line.isEmpty())
        parseMessage(line);
}

V2_message::V2_message(const V2_message& other) = default;
V2_message& V2_message::operator=(const V2_message& other) = default;
V2_message::~V2_message() = default;

bool V2_message::parseMessage(const QString& line)
{
    const bool ok = parseBytes(line.toUtf8());
    m_messageString = line;
    m_messageStringReady = true;
    return ok;
}

bool V2_message::parseMessage(const QByteArray& line)
{
    const bool ok = parseBytes(line);
    m_messageStringReady = false;
    return ok;
}

void V2_message::resetPayload()
{
    m_params.clear();
    m_paramsReady = true;
    m_line.clear();
    m_payloadStart = -1;
    m_parsed.reset();
    m_json = QJsonDocument();
    m_jsonReady = true;
}

bool V2_message::parseBytes(const QByteArray& line)
{
    resetPayload();
    m_line = line;
    m_valid = false;

    const int brace = line.indexOf('{');
    const int headerEnd = brace < 0 ? line.size() : brace;
    const char* data = line.constData();

    int colons[3];
    int fields = 1;
    for (int i = 0; i < headerEnd; ++i) {
        if (data[i] == ':') {
            if (fields <= 3)
                colons[fields - 1] = i;
            ++fields;
        }
    }
    if (fields != 4) {
        setError(kWrongParameters, QString());
        return false;
    }

    const QLatin1String word(data, colons[0]);
    const auto known = std::find_if(COMMANDS.cbegin(), COMMANDS.cend(), [&word](const QString& command) { return command == word; });
    if (known == COMMANDS.cend()) {
        setError(kCommandNotValid, QString());
        return false;
    }
    m_command = *known;
    m_id = QString::fromUtf8(data + colons[0] + 1, colons[1] - colons[0] - 1);
    m_channel = QString::fromUtf8(data + colons[1] + 1, colons[2] - colons[1] - 1);

    if (brace >= 0) {
        const int size = line.size() - brace;
        if (openings(data + brace, size) > MAX_JSON_DEPTH && jsonDepth(data + brace, size, MAX_JSON_DEPTH) > MAX_JSON_DEPTH) {
            logParseError(QStringLiteral("payload nested deeper than %1 levels").arg(MAX_JSON_DEPTH));
            setError(kParseError, QString());
            return false;
        }
        if (mayHoldOddNumbers(data + brace, data + line.size()) && !numbersFit(data + brace, data + line.size())) {
            logParseError(QStringLiteral("number beyond the range of a double or longer than %1 digits").arg(MAX_NUMBER_DIGITS));
            setError(kParseError, QString());
            return false;
        }
        // Parsed in place from a private copy: rapidjson's strings then point
        // into that copy instead of being allocated one by one.
        auto parsed = std::make_shared<ParsedPayload>();
        parsed->buffer = QByteArray(data + brace, size);
        rapidjson::InsituStringStream stream(parsed->buffer.data());
        parsed->document.ParseStream<rapidjson::kParseInsituFlag | rapidjson::kParseFullPrecisionFlag | rapidjson::kParseStopWhenDoneFlag>(stream);
        const char* error = parsed->document.HasParseError() ? rapidjson::GetParseError_En(parsed->document.GetParseError()) : nullptr;
        if (!error && !onlyBlanks(data + brace + stream.Tell(), size - static_cast<int>(stream.Tell())))
            error = "garbage after the document";
        if (error) {
            logParseError(QString::fromLatin1(error));
            setError(kParseError, QString());
            return false;
        }
        m_payloadStart = brace;
        m_parsed = std::move(parsed);
        m_paramsReady = false;
        m_jsonReady = false;
    }
    m_valid = true;
    return true;
}

QString V2_message::command() const
{
    return m_command;
}

void V2_message::setCommand(const QString& command)
{
    m_command = command;
}

QString V2_message::id() const
{
    return m_id;
}

void V2_message::setId(const QString& id)
{
    m_id = id;
}

QString V2_message::channel() const
{
    return m_channel;
}

void V2_message::setChannel(const QString& channel)
{
    m_channel = channel;
}

QByteArray V2_message::lineBytes() const
{
    return m_line;
}

QString V2_message::messageString() const
{
    if (!m_messageStringReady) {
        m_messageStringReady = true;
        m_messageString = QString::fromUtf8(m_line);
    }
    return m_messageString;
}

void V2_message::setMessageString(const QString& messageString)
{
    m_messageString = messageString;
    m_messageStringReady = true;
}

bool V2_message::isValid() const
{
    return m_valid;
}

void V2_message::setIsValid(bool valid)
{
    m_valid = valid;
}

QString V2_message::reason() const
{
    return m_reason;
}

QString V2_message::advice() const
{
    return m_advice;
}

QString V2_message::errorString() const
{
    if (!m_errorStringReady) {
        m_errorStringReady = true;
        m_errorString = buildErrorLine(m_id.isEmpty() ? m_id : m_id + QLatin1Char('+'));
    }
    return m_errorString;
}

QMap<QString, QVariant>* V2_message::jsonParams()
{
    if (!m_paramsReady) {
        m_paramsReady = true;
        if (m_parsed && m_parsed->document.IsObject())
            m_params = toVariant(m_parsed->document).toMap();
        else if (!m_parsed)
            m_params = m_json.object().toVariantMap();
    }
    return &m_params;
}

const rapidjson::Document* V2_message::rapidJsonDocument() const
{
    return m_parsed ? &m_parsed->document : nullptr;
}

std::shared_ptr<const rapidjson::Document> V2_message::sharedDocument() const
{
    if (!m_parsed)
        return nullptr;
    return std::shared_ptr<const rapidjson::Document>(m_parsed, &m_parsed->document);
}

void V2_message::insertJson(const QJsonObject& obj)
{
    resetPayload();
    m_jsonObject = obj;
    m_json = QJsonDocument(obj);
    m_paramsReady = false;
}

void V2_message::insertJson(const QString& key, const QString& value)
{
    jsonString();
    QJsonObject object = m_json.object();
    object.insert(key, value);
    insertJson(object);
}

void V2_message::insertJson(const QString& key, int value)
{
    jsonString();
    QJsonObject object = m_json.object();
    object.insert(key, value);
    insertJson(object);
}

QString V2_message::jsonString() const
{
    if (!m_jsonReady) {
        m_jsonReady = true;
        // From the document parsed already: the toolkit's own parser loses
        // memory on repeated member names, which any peer can send.
        m_json = QJsonDocument();
        if (m_parsed && m_parsed->document.IsObject())
            m_json = QJsonDocument(QJsonObject::fromVariantMap(toVariant(m_parsed->document).toMap()));
        else if (m_parsed && m_parsed->document.IsArray())
            m_json = QJsonDocument(QJsonArray::fromVariantList(toVariant(m_parsed->document).toList()));
    }
    if (m_json.isNull())
        return QString();
    return QString::fromUtf8(m_json.toJson(QJsonDocument::Compact));
}

QString V2_message::toString() const
{
    return line(m_command, m_id, m_channel, jsonString());
}

QString V2_message::buildErrorLine(const QString& id) const
{
    return line(QStringLiteral("ERROR"), id, m_channel, errorObject(m_reason, m_advice));
}

QString V2_message::errorMessageString()
{
    m_errorString = buildErrorLine(m_id);
    m_errorStringReady = true;
    return m_errorString;
}

void V2_message::setError(const QString& reason, const QString& advice)
{
    m_valid = false;
    m_reason = reason;
    m_advice = advice;
    m_errorStringReady = false;
}

// ---------------------------------------------------------------------------
// Builders

QString V2_message::line(const QString& command, const QString& id, const QString& channel, const QString& payload)
{
    return command + QLatin1Char(':') + id + QLatin1Char(':') + channel + QLatin1Char(':') + payload;
}

QString V2_message::loginRequestLine(const QString& user,
                                     const QString& password,
                                     const QString& app,
                                     const QString& appVersion,
                                     const QString& protocol,
                                     const QString& protocolVersion)
{
    QJsonObject payload;
    payload.insert(QStringLiteral("app"), app);
    payload.insert(QStringLiteral("app_ver"), appVersion);
    payload.insert(QStringLiteral("password"), password);
    payload.insert(QStringLiteral("protocol"), protocol);
    payload.insert(QStringLiteral("protocol_ver"), protocolVersion);
    payload.insert(QStringLiteral("user"), user);
    return line(QStringLiteral("LOGIN"), QString(), QString(), compact(payload));
}

QString V2_message::loginReplyLine(const QString& requestId,
                                   const QString& name,
                                   const QString& version,
                                   const QString& minVersion,
                                   int pingRate,
                                   int timeout)
{
    QJsonObject payload;
    payload.insert(QStringLiteral("min_ver"), minVersion);
    payload.insert(QStringLiteral("name"), name);
    payload.insert(QStringLiteral("pingRate"), pingRate);
    payload.insert(QStringLiteral("timeout"), timeout);
    payload.insert(QStringLiteral("ver"), version);
    return line(QStringLiteral("LOGIN"), requestId + QLatin1Char('+'), QString(), compact(payload));
}

QString V2_message::pingLine()
{
    return line(QStringLiteral("PING"), QString(), QString());
}

QString V2_message::ackLine(const QString& pingId)
{
    return line(QStringLiteral("ACK"), pingId + QLatin1Char('+'), QString());
}

QString V2_message::timeReplyLine(const QString& counter, qint64 msSinceEpoch)
{
    return line(QStringLiteral("TIME"), counter, QString(), QString::number(msSinceEpoch));
}

QString V2_message::namedDataLine(const QString& command, const QString& id, const QString& channel, const QString& name, const QJsonObject& data)
{
    return namedDataLine(command, id, channel, name, QString::fromUtf8(QJsonDocument(data).toJson(QJsonDocument::Indented)));
}

QString V2_message::namedDataLine(const QString& command, const QString& id, const QString& channel, const QString& name, const QString& data)
{
    QJsonObject payload;
    payload.insert(QStringLiteral("data"), data);
    payload.insert(QStringLiteral("name"), name);
    return line(command, id, channel, compact(payload));
}

QString V2_message::dataLine(const QString& counter, const V2_Data* tree)
{
    return line(QStringLiteral("JSON"), counter, QString(), tree ? tree->getJsonString(false) : QStringLiteral("{}"));
}

QString V2_message::treeReplyLine(const QString& id, const QString& channel, const V2_Data* tree)
{
    return line(QStringLiteral("REPLY"), id, channel, tree ? compact(tree->getJson(QString(), false)) : QStringLiteral("{}"));
}

QString V2_message::errorLine(const QString& id, const QString& channel, const QString& reason, const QString& advice)
{
    return line(QStringLiteral("ERROR"), id, channel, errorObject(reason, advice));
}

QString V2_message::jsonQuoted(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\b':
            out += QLatin1String("\\b");
            break;
        case '\f':
            out += QLatin1String("\\f");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}
