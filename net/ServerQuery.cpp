#include "net/ServerQuery.h"

#include "common/LittleEndian.h"
#include "net/BrowserReply.h"
#include "net/EnumerationReply.h"
#include "net/StatusReply.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>

namespace quillory {

namespace {

constexpr uint8_t SOCKETS_PROBE[32] = {
    0x20, 0x00, 0x01, 0x08, 0x1B, 0xC9, 0xC2, 0xE9, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAE, 0x91, 0xE1, 0xEE, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t DIRECTPLAY_PROBE[21] = {0x00, 0x02, 0xC4, 0xE2, 0x01, 0x60, 0x98,
                                          0x24, 0xF7, 0xBE, 0xD0, 0xD2, 0x11, 0x95,
                                          0xEA, 0x00, 0xA0, 0xC9, 0xA5, 0x7F, 0x0B};
constexpr char STATUS_QUERY[] = "\\status\\";
constexpr size_t STATUS_QUERY_LENGTH = 8;
constexpr uint16_t DIRECTPLAY_MARK = 0xE2C4;
constexpr char GAMENAME_PREFIX[] = "\\gamename\\";

constexpr uint16_t GANTRY_HELLO_ACCEPTED = 0x8000;
constexpr uint16_t GANTRY_PASSWORD_REFUSAL = 0x8001;
constexpr uint16_t GANTRY_REQUEST = 0x03C3;
constexpr uint16_t GANTRY_SEND_ALL = 1;
constexpr uint16_t GANTRY_SEND_ONE = 2;

} // namespace

CServerQuery::CServerQuery(CWatchState& state, TickSource tick, DefaultGamePorts defaults)
    : state_(state), tick_(std::move(tick)), defaults_(defaults) {}

CServerQuery::~CServerQuery() {
    Post(QM_QUIT);
    Wait(WAIT_FOREVER);
    CloseThreadHandle();
}

void CServerQuery::ActivateGantry(const String& password) {
    std::lock_guard guard(state_.StatusLock());
    state_.gantryFeatureActive = true;
    password_ = password;
}

void CServerQuery::OnRead(int) {
    uint8_t buffer[RECEIVE_BUFFER];
    uint32_t address = 0;
    uint16_t port = 0;
    int length = ReceiveFrom(buffer, sizeof buffer, address, port);
    if (length < 0)
        return;
    HandleDatagram(buffer, static_cast<size_t>(length), address, port);
}

void CServerQuery::OnMessage(uint32_t code, uint32_t first, uint32_t second) {
    HandleMessage(code, first, second);
}

void CServerQuery::OnIdle() {
    PollCycle();
}

void CServerQuery::HandleMessage(uint32_t code, uint32_t first, uint32_t second) {
    switch (code) {
    case QM_SET_SERVER: {
        serverAddress_ = first;
        gamePort_ = static_cast<uint16_t>(second);
        queryPort_ = 0;
        firstStepTick_.reset();
        std::lock_guard guard(state_.StatusLock());
        state_.description.reset();
        break;
    }
    case QM_START:
        enabled_ = true;
        cycleCounter_ = 0;
        implementation_ = IMPL_NONE;
        gantryPort_ = 0;
        gantryProbeCount_ = 0;
        chunks_.clear();
        firstStepTick_.reset();
        directPlayStart_.reset();
        cycleDue_ = true;
        PollCycle();
        break;
    case QM_STOP:
        enabled_ = false;
        break;
    case QM_QUERY_NEWS:
        QueryNews(first, static_cast<uint16_t>(second));
        break;
    case QM_QUERY_SERVER_LIST:
        QueryServerList(first, static_cast<uint16_t>(second));
        break;
    case QM_QUIT:
        SetStopFlag();
        break;
    default:
        break;
    }
}

void CServerQuery::HandleDatagram(const uint8_t* data, size_t length, uint32_t address,
                                  uint16_t port) {
    if (FromBrowser(address, port))
        return HandleBrowserReply(data, length, address, port);
    if (port == BROWSER_SERVER_PORT)
        return; // a stray from a browser server's port: never a game server's reply
    if (address != serverAddress_ || !FromAskedPort(port))
        return;
    const bool fromGantry = gantryPort_ != 0 && port == gantryPort_;
    if (length >= 2 && LoadU16(data) == length && !fromGantry)
        return HandleSocketsReply(data, length, port);
    if (length >= 4 && LoadU16(data + 2) == DIRECTPLAY_MARK && !fromGantry)
        return HandleDirectPlayReply(data, length, port);
    if (length >= 1 && data[0] == '\\' && !fromGantry)
        return HandleTextReply(data, length, port);
    if (length == 12 && LoadU16(data) == GANTRY_HELLO_ACCEPTED)
        return HandleHelloAccepted(data, port);
    if (length == 4 && LoadU16(data) == GANTRY_PASSWORD_REFUSAL)
        return HandlePasswordRefused(port);
    if (fromGantry)
        HandleChunk(data, length);
}

void CServerQuery::HandleSocketsReply(const uint8_t* data, size_t length, uint16_t port) {
    {
        std::lock_guard guard(state_.StatusLock());
        if (!ParseSocketsReply(data, length, state_.status))
            return;
        TakeEnumerationReply(IMPL_SOCKETS, port);
    }
    state_.NotifyChanged();
}

void CServerQuery::HandleDirectPlayReply(const uint8_t* data, size_t length, uint16_t port) {
    {
        std::lock_guard guard(state_.StatusLock());
        if (!ParseDirectPlayReply(data, length, state_.status))
            return;
        TakeEnumerationReply(IMPL_DIRECTPLAY, port);
    }
    state_.NotifyChanged();
}

// The parts common to both enumeration replies. Called with the status lock held.
void CServerQuery::TakeEnumerationReply(int32_t implementation, uint16_t port) {
    implementation_ = implementation;
    state_.status.implementation = implementation;
    if (gamePort_ == 0)
        gamePort_ = port;
    std::optional<uint32_t>& start =
        implementation == IMPL_DIRECTPLAY && directPlayStart_ ? directPlayStart_ : pollStart_;
    if (start) {
        state_.status.ping = static_cast<int32_t>(TicksSince(tick_(), *start));
        pollStart_.reset();
        directPlayStart_.reset();
    }
    state_.status.port = gamePort_;
    ++state_.enumerationReplies;
}

void CServerQuery::HandleTextReply(const uint8_t* data, size_t length, uint16_t port) {
    const char* chars = reinterpret_cast<const char*>(data);
    String text(chars, strnlen(chars, length));
    auto pair = FindQueryId(text, MAX_FRAGMENT);
    if (!pair)
        return;
    if (pair->id != queryId_) {
        fragments_.clear();
        queryId_ = pair->id;
    }
    if (fragments_.size() <= pair->number)
        fragments_.resize(pair->number + 1);
    fragments_[pair->number] = std::move(text);

    auto joined = JoinCompleteReply();
    if (!joined)
        return;
    fragments_.clear();
    {
        std::lock_guard guard(state_.StatusLock());
        state_.status.playerList.clear();
        if (queryPort_ == 0)
            queryPort_ = port;
        ParseStatusText(*joined, state_.status, MAX_TOKEN);
        ++state_.statusReplies;
    }
    state_.NotifyChanged();
}

// Complete means every datagram from 0 up to the one holding the final pair is here; the
// result is their pairs without the queryid pairs between them.
std::optional<String> CServerQuery::JoinCompleteReply() const {
    String raw, joined;
    for (const auto& fragment : fragments_) {
        if (!fragment)
            return std::nullopt;
        size_t searchFrom = raw.size() >= 6 ? raw.size() - 6 : 0;
        raw += *fragment;
        joined += WithoutQueryId(*fragment);
        if (raw.compare(0, 10, GAMENAME_PREFIX) != 0)
            return std::nullopt;
        if (raw.find("final\\\\", searchFrom) != String::npos)
            return joined;
    }
    return std::nullopt;
}

void CServerQuery::QueryNews(uint32_t address, uint16_t port) {
    const uint32_t now = tick_();
    news_ = {address, port, NewsToken(now)};
    const auto request = NewsRequest(now);
    SendTo(address, port, request.data(), request.size());
}

void CServerQuery::QueryServerList(uint32_t address, uint16_t port) {
    const uint32_t now = tick_();
    list_ = {address, port, ServerListToken(now)};
    const auto request = ServerListRequest(now);
    SendTo(address, port, request.data(), request.size());
}

// Only the ports this server was asked on may answer for it: another server on the same host,
// asked before a change of server, would otherwise be taken for this one, and its query port
// kept as this one's.
bool CServerQuery::FromAskedPort(uint16_t port) const {
    const auto asked = [port](uint16_t base) {
        const int offset = int(port) - int(base);
        return offset == 0 || offset == 1 || offset == 2 || offset == GANTRY_OFFSET_NEAR ||
               offset == GANTRY_OFFSET_FAR;
    };
    if (gamePort_ != 0)
        return asked(gamePort_);
    return asked(defaults_.sockets) || asked(defaults_.directPlay);
}

bool CServerQuery::FromBrowser(uint32_t address, uint16_t port) const {
    return news_.Answers(address, port) || list_.Answers(address, port);
}

// A reply is matched by its first word, the token of the request it answers; any other word
// is a reply to an older request, or none, and is dropped.
void CServerQuery::HandleBrowserReply(const uint8_t* data, size_t length, uint32_t address,
                                      uint16_t port) {
    uint16_t token = 0;
    if (!ReplyToken(data, length, token))
        return;
    if (news_.Answers(address, port) && token == *news_.token)
        TakeNewsReply(data, length);
    else if (list_.Answers(address, port) && token == *list_.token)
        TakeServerListReply(data, length);
}

void CServerQuery::TakeNewsReply(const uint8_t* data, size_t length) {
    BrowserNews received = ParseNewsReply(data, length);
    {
        std::lock_guard guard(state_.StatusLock());
        BrowserNews& news = state_.news;
        // The flag is the window's link blink: only the Link button clears it.
        const bool offered = news.upgradeOffered || IsUpgradeArchive(received.upgradeFile);
        news = std::move(received);
        news.upgradeOffered = offered;
        ++state_.newsReplies;
    }
    state_.NotifyChanged();
}

void CServerQuery::TakeServerListReply(const uint8_t* data, size_t length) {
    std::vector<PublicServer> received = ParseServerListReply(data, length);
    {
        std::lock_guard guard(state_.StatusLock());
        for (PublicServer& server : received)
            state_.AddPublicServer(std::move(server));
        ++state_.serverListReplies;
    }
    state_.NotifyChanged();
}

void CServerQuery::PollCycle() {
    if (!enabled_)
        return;
    uint32_t now = tick_();
    SendSecondStepIfDue(now);
    if (!cycleDue_ && TicksSince(now, lastCycleTick_) < CYCLE_MS)
        return;
    cycleDue_ = false;
    GantryBookkeeping(now);
    directPlayStart_.reset();
    if (stagedDelayMs_ && cycleCounter_ == 0 && implementation_ == IMPL_NONE && gamePort_ != 0) {
        SendFirstStep(gamePort_);
        firstStepTick_ = now;
    } else {
        firstStepTick_.reset();
        SendQueries();
    }
    lastCycleTick_ = now;
    pollStart_ = now;
    ++cycleCounter_;
    state_.NotifyChanged(); // the Gantry state may have moved
}

void CServerQuery::GantryBookkeeping(uint32_t now) {
    std::lock_guard guard(state_.StatusLock());
    ServerStatus& s = state_.status;
    if (gantryPort_ == 0) {
        if (gantryProbeCount_ == 2)
            s.gantryState = GANTRY_NONE;
        return;
    }
    const bool incomplete = s.gantryChunksReceived < s.gantryChunkTotal;
    if (gantryProbeCount_ == 2) {
        // A transfer that the last re-request did complete is not a timeout.
        if (s.gantryState == GANTRY_ANSWERED && incomplete)
            s.gantryState = GANTRY_TIMEOUT;
    } else if (s.gantryState == GANTRY_ANSWERED && incomplete &&
               TicksSince(now, lastChunkTick_) > CHUNK_WAIT_MS) {
        RequestMissingChunks();
        lastChunkTick_ = now;
        ++gantryProbeCount_;
    }
}

// The Gantry server beside the game server answered a hello: fetch its description, or take
// it from the cache when this version was fetched before. Only the first answer counts.
void CServerQuery::HandleHelloAccepted(const uint8_t* data, uint16_t port) {
    if (gantryPort_ != 0)
        return;
    const uint16_t total = LoadU16(data + 2);
    if (total == 0 || total > MAX_GANTRY_CHUNKS)
        return; // not a description we could hold: as if nobody answered
    gantryPort_ = port;
    gantryProbeCount_ = 0;
    descriptionTag_ = uint64_t(LoadU32(data + 4)) | (uint64_t(LoadU32(data + 8)) << 32);
    chunks_.clear();
    const uint32_t selection = Selection();
    // The cache is read and inflated without the status lock, which the window's tick takes.
    std::optional<std::vector<GantryChunk>> cached =
        ReadGantryCache(CachePath(), CacheKey(), total);
    std::optional<std::vector<uint8_t>> description;
    if (cached)
        description = AssembleGantryDescription(*cached);
    {
        std::lock_guard guard(state_.StatusLock());
        if (state_.selection != selection)
            return; // another server was selected meanwhile
        ServerStatus& s = state_.status;
        s.gantryState = GANTRY_ANSWERED;
        s.gantryChunkTotal = total;
        s.gantryChunksReceived = cached ? total : 0;
        if (description)
            state_.description = std::move(*description);
    }
    if (cached) {
        for (auto& chunk : *cached)
            chunks_.emplace_back(std::move(chunk));
    } else {
        SendGantryRequest(GANTRY_SEND_ALL, std::nullopt);
        lastChunkTick_ = tick_();
    }
    state_.NotifyChanged();
}

void CServerQuery::HandlePasswordRefused(uint16_t port) {
    {
        std::lock_guard guard(state_.StatusLock());
        gantryPort_ = port;
        gantryProbeCount_ = 0;
        state_.status.gantryState = GANTRY_PASSWORD_REFUSED;
    }
    state_.NotifyChanged();
}

void CServerQuery::HandleChunk(const uint8_t* data, size_t length) {
    if (length < 2)
        return;
    const uint16_t index = LoadU16(data);
    bool last = false;
    uint32_t selection = 0;
    {
        std::lock_guard guard(state_.StatusLock());
        ServerStatus& s = state_.status;
        // Only a transfer that a hello opened takes chunks: after a refusal the tag is not this
        // server's, and a cache file written under it would serve the wrong description later.
        if (s.gantryState != GANTRY_ANSWERED || index >= s.gantryChunkTotal)
            return;
        if (chunks_.size() <= index)
            chunks_.resize(size_t(index) + 1);
        // Duplicates and corrupt chunks are dropped, but still show the server is sending.
        if (!chunks_[index] && GantryChunkValid(data, length)) {
            chunks_[index] = GantryChunk(data, data + length);
            // The last chunk is counted together with the description it completes.
            last = s.gantryChunksReceived + 1 == s.gantryChunkTotal;
            if (!last)
                ++s.gantryChunksReceived;
        }
        lastChunkTick_ = tick_();
        selection = state_.selection;
    }
    if (last)
        CompleteDescription(selection);
    state_.NotifyChanged();
}

// Once every chunk is here: the cache file and the description, made without the status lock,
// then published under it together with the last chunk's count.
void CServerQuery::CompleteDescription(uint32_t selection) {
    std::vector<GantryChunk> all;
    for (const auto& c : chunks_)
        if (c)
            all.push_back(*c);
    WriteGantryCache(CachePath(), CacheKey(), all);
    std::optional<std::vector<uint8_t>> description = AssembleGantryDescription(all);
    std::lock_guard guard(state_.StatusLock());
    if (state_.selection != selection)
        return; // another server was selected meanwhile
    ++state_.status.gantryChunksReceived;
    if (description)
        state_.description = std::move(*description);
}

uint32_t CServerQuery::Selection() {
    std::lock_guard guard(state_.StatusLock());
    return state_.selection;
}

// Called with the status lock held.
void CServerQuery::RequestMissingChunks() {
    const int32_t total = state_.status.gantryChunkTotal;
    for (int32_t i = 0; i < total; ++i)
        if (size_t(i) >= chunks_.size() || !chunks_[size_t(i)])
            SendGantryRequest(GANTRY_SEND_ONE, uint16_t(i));
}

void CServerQuery::SendGantryRequest(uint16_t kind, std::optional<uint16_t> index) {
    uint8_t request[6] = {uint8_t(GANTRY_REQUEST & 0xFF),
                          uint8_t(GANTRY_REQUEST >> 8),
                          uint8_t(kind),
                          uint8_t(kind >> 8),
                          0,
                          0};
    size_t length = 4;
    if (index) {
        request[4] = uint8_t(*index);
        request[5] = uint8_t(*index >> 8);
        length = 6;
    }
    SendTo(serverAddress_, gantryPort_, request, length);
}

GantryCacheKey CServerQuery::CacheKey() const {
    return {descriptionTag_, serverAddress_, gantryPort_};
}

String CServerQuery::CachePath() const {
    const String name = GantryCacheName(CacheKey());
    if (cacheFolder_.empty())
        return name;
    return (std::filesystem::path(cacheFolder_) / name).string();
}

void CServerQuery::SendQueries() {
    const uint16_t p = gamePort_;
    if (implementation_ == IMPL_NONE) {
        if (p == 0) {
            const uint16_t bases[2] = {defaults_.sockets, defaults_.directPlay};
            for (uint16_t base : bases)
                SendTo(serverAddress_, base, SOCKETS_PROBE, sizeof SOCKETS_PROBE);
            for (uint16_t base : bases)
                SendTo(serverAddress_, base, DIRECTPLAY_PROBE, sizeof DIRECTPLAY_PROBE);
            for (uint16_t base : bases) {
                SendStatusQuery(uint16_t(base + 1));
                SendStatusQuery(uint16_t(base + 2));
            }
            SendHellosIfWanted(0);
        } else {
            SendProbes(p);
            SendStatusQuery(uint16_t(p + 1));
            SendStatusQuery(uint16_t(p + 2));
            SendHellosIfWanted(p);
        }
        return;
    }
    SendHellosIfWanted(p);
    if (implementation_ == IMPL_DIRECTPLAY)
        SendTo(serverAddress_, p, DIRECTPLAY_PROBE, sizeof DIRECTPLAY_PROBE);
    else
        SendTo(serverAddress_, p, SOCKETS_PROBE, sizeof SOCKETS_PROBE);
    if (cycleCounter_ % 4 != 0)
        return;
    if (queryPort_ != 0) {
        SendStatusQuery(queryPort_);
    } else {
        SendStatusQuery(uint16_t(p + 1));
        SendStatusQuery(uint16_t(p + 2));
    }
}

void CServerQuery::SendFirstStep(uint16_t port) {
    SendTo(serverAddress_, port, SOCKETS_PROBE, sizeof SOCKETS_PROBE);
    SendStatusQuery(uint16_t(port + 1));
    SendHellosIfWanted(port);
}

// The rest of a staged first round, for what the first step did not bring: a server that
// speaks only DirectPlay, or answers the status query on port+2.
void CServerQuery::SendSecondStepIfDue(uint32_t now) {
    if (!firstStepTick_ || TicksSince(now, *firstStepTick_) < *stagedDelayMs_)
        return;
    firstStepTick_.reset();
    const uint16_t p = gamePort_;
    if (implementation_ == IMPL_NONE) {
        SendTo(serverAddress_, p, DIRECTPLAY_PROBE, sizeof DIRECTPLAY_PROBE);
        directPlayStart_ = now;
    }
    if (queryPort_ == 0)
        SendStatusQuery(uint16_t(p + 2));
}

void CServerQuery::SendProbes(uint16_t port) {
    SendTo(serverAddress_, port, SOCKETS_PROBE, sizeof SOCKETS_PROBE);
    SendTo(serverAddress_, port, DIRECTPLAY_PROBE, sizeof DIRECTPLAY_PROBE);
}

void CServerQuery::SendStatusQuery(uint16_t port) {
    SendTo(serverAddress_, port, STATUS_QUERY, STATUS_QUERY_LENGTH);
}

// The hello goes out in at most two cycles, and only while no Gantry server has answered.
void CServerQuery::SendHellosIfWanted(uint16_t base) {
    std::vector<uint8_t> hello;
    {
        std::lock_guard guard(state_.StatusLock());
        if (!state_.gantryFeatureActive || gantryPort_ != 0 || gantryProbeCount_ >= 2)
            return;
        if (password_.size() > MAX_HELLO_PASSWORD) {
            // Cutting it would only earn a refusal for a password the user never typed.
            state_.status.gantryState = GANTRY_PASSWORD_REFUSED;
            return;
        }
        hello = {0xC3, 0x03, 0x00, 0x00};
        hello.insert(hello.end(), password_.begin(), password_.end());
        hello.push_back(0);
        ++gantryProbeCount_;
    }
    if (base != 0) {
        SendTo(serverAddress_, uint16_t(base + GANTRY_OFFSET_NEAR), hello.data(), hello.size());
        SendTo(serverAddress_, uint16_t(base + GANTRY_OFFSET_FAR), hello.data(), hello.size());
        return;
    }
    for (uint16_t b : {defaults_.sockets, defaults_.directPlay}) {
        SendTo(serverAddress_, uint16_t(b + GANTRY_OFFSET_NEAR), hello.data(), hello.size());
        SendTo(serverAddress_, uint16_t(b + GANTRY_OFFSET_FAR), hello.data(), hello.size());
    }
}

} // namespace quillory
