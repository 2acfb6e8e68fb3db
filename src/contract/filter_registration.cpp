#include "contract/filter_registration.h"

#include <utility>

Filter_registration::Filter_registration(Interaction_if* host, Filter* filter,
                                         const std::vector<std::wstring>& names)
    : host_(host) {
    if (!host_)
        return;
    std::vector<Name_ref> refs;
    refs.reserve(names.size());
    for (const auto& name : names)
        refs.push_back({name.c_str(), static_cast<unsigned int>(name.size())});
    id_ = host_->register_filter(filter, refs.data(), static_cast<unsigned int>(refs.size()));
    registered_ = true;
}

Filter_registration::~Filter_registration() {
    reset();
}

Filter_registration::Filter_registration(Filter_registration&& other) noexcept
    : host_(std::exchange(other.host_, nullptr)), id_(std::exchange(other.id_, 0)),
      registered_(std::exchange(other.registered_, false)) {}

Filter_registration& Filter_registration::operator=(Filter_registration&& other) noexcept {
    if (this != &other) {
        reset();
        host_ = std::exchange(other.host_, nullptr);
        id_ = std::exchange(other.id_, 0);
        registered_ = std::exchange(other.registered_, false);
    }
    return *this;
}

void Filter_registration::reset() {
    if (registered_ && host_)
        host_->unregister_filter(id_);
    registered_ = false;
}

Subscription::Subscription(Interaction_if* host, Filter* filter, std::wstring name)
    : host_(host), filter_(filter), name_(std::move(name)) {
    if (host_)
        host_->subscribe(name_.c_str(), static_cast<unsigned int>(name_.size()), filter_);
}

Subscription::~Subscription() {
    if (host_)
        host_->unsubscribe(name_.c_str(), static_cast<unsigned int>(name_.size()), filter_);
}
