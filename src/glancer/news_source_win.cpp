// The ticker's conversations with the agent. Every record read here lies in
// memory the agent (or anyone) writes, so each text goes through SafeText (or
// WholeText for addresses and paths) and
// each walk has a fixed bound whatever the answers say.
#include "glancer/news_source_win.h"

#include <cstring>

#include "shared/display_settings.h"

namespace glancer {

namespace {

constexpr int kMostTopics = 100;  // no database holds more
constexpr int kMostMessagesPerTopic = 1000;
constexpr size_t kMostItems = 3000;
constexpr int kHeadlinesPerAd = 3;

std::string Hint(const TopicRecord& topic) {
    return SafeText(topic.Hint, sizeof topic.Hint, 100);
}

}  // namespace

Item TitleItem(const TopicRecord& topic) {
    Item item;
    item.kind = ItemKind::Title;
    item.topic = topic.ridTopic;
    item.text = SafeText(topic.Title, sizeof topic.Title);
    item.hint = Hint(topic);
    ReadUpdateState(topic, &item);
    std::string home = WholeText(topic.HomepageUrl, sizeof topic.HomepageUrl);
    if (IsWebLink(home)) item.link = home;
    return item;
}

Item MessageItem(const TopicRecord& topic, const MsgRecord& msg) {
    Item item;
    item.topic = msg.ridTopic;
    item.msg = msg.ridMsg;
    item.hint = Hint(topic);
    item.text = SafeText(msg.Title, sizeof msg.Title);
    item.link = MessageLink(WholeText(msg.Url, sizeof msg.Url), WholeText(topic.MsgBaseUrl, sizeof topic.MsgBaseUrl));
    Quote quote;
    if (topic.dwType == TOPIC_QUOTES && ParseQuote(item.text, &quote)) {
        item.kind = ItemKind::Quote;
        item.text = quote.symbol + " " + quote.last;
        item.change = quote.change;
        item.direction = quote.direction;
    }
    return item;
}

// Marks a walk in progress; the last one out carries out a disconnect asked
// for meanwhile.
class NewsSource::Busy {
public:
    explicit Busy(NewsSource& source) : source_(source) { source_.busy_++; }
    ~Busy() {
        if (--source_.busy_ == 0 && source_.stop_) source_.Release();
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    NewsSource& source_;
};

bool NewsSource::Connect() {
    Disconnect();
    refused_ = false;
    if (busy_) return false;
    Busy busy(*this);
    block_ = std::make_unique<GlobalBlockView>();
    engine_ = block_->valid() ? block_->EngineWindow() : nullptr;
    if (!engine_ || !IsWindow(engine_)) {
        Disconnect();
        return false;
    }
    topics_ = std::make_unique<Conversation>(engine_, kTopicChannel);
    auto messages = std::make_unique<Conversation>(engine_, kMessageChannel);
    if (stop_ || !topics_->open() || !messages->open()) {
        refused_ = !stop_;
        stop_ = true;  // given back when the guard goes
        return false;
    }
    messages_ = std::move(messages);
    return true;
}

void NewsSource::Disconnect() {
    if (busy_) {
        stop_ = true;
        return;
    }
    Release();
}

void NewsSource::Release() {
    stop_ = false;
    messages_.reset();
    topics_.reset();
    block_.reset();
    engine_ = nullptr;
}

bool NewsSource::AgentAlive() const {
    return engine_ && IsWindow(engine_);
}

template <typename F>
void NewsSource::ForEachTopic(int32_t preference, F f) {
    if (!connected()) return;
    TopicArea& area = topics_->topics();
    uint32_t adTopic = config()->AdTopicId;
    area.wrap = 0;
    LRESULT found = topics_->Request(FETCH_FIRST);
    for (int n = 0; found && !stop_ && n < kMostTopics; n++, found = topics_->Request(FETCH_NEXT)) {
        TopicRecord topic = area.topic;  // a copy: the walk below reuses nothing of it
        bool wanted = topic.bActive && topic.ridTopic != adTopic &&
                      (topic.dwType != TOPIC_QUOTES || (preference & display::kShowQuotes));
        if (wanted && !f(topic)) return;
        area.topic.ridTopic = topic.ridTopic;  // the step goes on from this topic
    }
}

template <typename F>
void NewsSource::ForEachMessage(const TopicRecord& topic, uint32_t after, F f) {
    MsgArea& area = messages_->messages();
    area.wrap = 0;
    area.msg.ridTopic = topic.ridTopic;
    area.msg.ridMsg = after;
    LRESULT found = messages_->Request(after == kNoId ? FETCH_FIRST : FETCH_NEXT);
    for (int n = 0; found && !stop_ && n < kMostMessagesPerTopic; n++, found = messages_->Request(FETCH_NEXT)) {
        MsgRecord msg = area.msg;
        if (msg.ridTopic != topic.ridTopic || !f(msg)) break;
        area.msg.ridTopic = msg.ridTopic;
        area.msg.ridMsg = msg.ridMsg;
    }
}

bool NewsSource::NextAd(Item* ad) {
    Busy busy(*this);
    if (!connected()) return false;
    uint32_t adTopic = config()->AdTopicId;
    if (adTopic == kNoId) return false;
    MsgArea& area = messages_->messages();
    for (int attempt = 0; attempt < 2; attempt++) {
        area.wrap = 0;
        area.msg.ridTopic = adTopic;
        area.msg.ridMsg = attempt == 0 ? lastAd_ : kNoId;
        if (attempt == 0 && lastAd_ == kNoId) continue;
        LRESULT found = messages_->Request(attempt == 0 ? FETCH_NEXT : FETCH_FIRST);
        if (stop_) return false;
        if (!found) continue;
        if (area.msg.ridTopic != adTopic) return false;
        lastAd_ = area.msg.ridMsg;
        ad->kind = ItemKind::Ad;
        ad->topic = adTopic;
        ad->msg = area.msg.ridMsg;
        ad->file = WholeText(area.msg.Title, sizeof area.msg.Title);
        ad->link = MessageLink(WholeText(area.msg.Url, sizeof area.msg.Url), "");
        return true;
    }
    return false;
}

std::vector<Item> NewsSource::Build(int32_t preference) {
    Busy busy(*this);
    std::vector<Item> items;
    int headlines = 0;
    ForEachTopic(preference, [&](const TopicRecord& topic) {
        items.push_back(TitleItem(topic));
        ForEachMessage(topic, kNoId, [&](const MsgRecord& msg) {
            Item item = MessageItem(topic, msg);
            if (!item.text.empty()) {
                items.push_back(item);
                headlines++;
            }
            return items.size() < kMostItems;
        });
        return items.size() < kMostItems;
    });
    if ((preference & display::kHideAds) || !connected() || headlines == 0) return items;
    // A place for an ad after every few headlines, and at least one in a
    // round; the ad itself is fetched when its place scrolls in.
    std::vector<Item> mixed;
    Item slot;
    slot.kind = ItemKind::Ad;
    slot.topic = config()->AdTopicId;
    int sinceAd = 0;
    for (const Item& item : items) {
        mixed.push_back(item);
        if (item.kind != ItemKind::Title && ++sinceAd == kHeadlinesPerAd) {
            mixed.push_back(slot);
            sinceAd = 0;
        }
    }
    if (sinceAd > 0) mixed.push_back(slot);
    return mixed;
}

std::vector<Item> NewsSource::NewSince(const Loop& loop, int32_t preference) {
    Busy busy(*this);
    std::vector<Item> added;
    if (loop.size() >= kMostItems) return added;  // the next round takes a fresh loop
    ForEachTopic(preference, [&](const TopicRecord& topic) {
        if (topic.dwType == TOPIC_QUOTES) return true;  // quotes change in place: taken at the next round
        bool known = false;
        uint32_t newest = kNoId;
        for (size_t i = 0; i < loop.size(); i++) {
            const Item& item = loop[i];
            if (item.topic != topic.ridTopic || item.kind == ItemKind::Ad) continue;
            known = true;
            if (item.kind == ItemKind::Headline && (newest == kNoId || item.msg > newest)) newest = item.msg;
        }
        if (!known) added.push_back(TitleItem(topic));
        ForEachMessage(topic, newest, [&](const MsgRecord& msg) {
            Item item = MessageItem(topic, msg);
            if (!item.text.empty()) added.push_back(item);
            return added.size() + loop.size() < kMostItems;
        });
        return added.size() + loop.size() < kMostItems;
    });
    return added;
}

}  // namespace glancer
