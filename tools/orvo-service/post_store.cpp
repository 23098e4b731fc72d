#include "post_store.h"

#include <algorithm>

namespace {

QString bounded(const QString &text)
{
    return text.size() <= PostStore::kMaxText ? text : text.left(PostStore::kMaxText);
}

} // namespace

QString Post::value(const QString &key) const
{
    for (const auto &[name, text] : values) {
        if (name == key)
            return text;
    }
    return QString();
}

PostStore::PostStore(int postsPerAccount, int maxAccounts)
    : postsPerAccount_(std::max(1, postsPerAccount)), maxAccounts_(std::max(1, maxAccounts))
{
}

void PostStore::add(const QString &account, Post post)
{
    const QString key = bounded(account);
    if (!accounts_.contains(key) && accounts_.size() >= maxAccounts_) {
        auto oldest = std::min_element(accounts_.begin(), accounts_.end(),
                                       [](const Account &a, const Account &b) {
                                           return a.lastPost < b.lastPost;
                                       });
        accounts_.erase(oldest);
    }
    if (post.values.size() > kMaxValues)
        post.values.resize(kMaxValues);
    for (auto &[name, text] : post.values) {
        name = bounded(name);
        text = bounded(text);
    }
    Account &entry = accounts_[key];
    entry.lastPost = ++sequence_;
    entry.posts.push_back(std::move(post));
    while (int(entry.posts.size()) > postsPerAccount_)
        entry.posts.pop_front();
}

const std::deque<Post> &PostStore::posts(const QString &account) const
{
    static const std::deque<Post> none;
    const auto found = accounts_.constFind(bounded(account));
    return found == accounts_.constEnd() ? none : found->posts;
}

QStringList PostStore::accounts() const
{
    QStringList names = accounts_.keys();
    names.sort();
    return names;
}
