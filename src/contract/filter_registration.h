#pragma once

#include "contract/host_interface.h"

#include <string>
#include <vector>

// Keeps a filter registered with the host for a list of names and withdraws
// the registration when it ends. Move-only: a copy would unregister twice.
class Filter_registration {
public:
    Filter_registration() = default;
    Filter_registration(Interaction_if* host, Filter* filter,
                        const std::vector<std::wstring>& names);
    ~Filter_registration();
    Filter_registration(Filter_registration&& other) noexcept;
    Filter_registration& operator=(Filter_registration&& other) noexcept;
    Filter_registration(const Filter_registration&) = delete;
    Filter_registration& operator=(const Filter_registration&) = delete;

    Interaction_if* host() const { return host_; }
    unsigned int id() const { return id_; }
    void reset();

private:
    Interaction_if* host_ = nullptr;
    unsigned int id_ = 0;
    bool registered_ = false;
};

// One subscription of a filter to one name, withdrawn when it ends.
class Subscription {
public:
    Subscription(Interaction_if* host, Filter* filter, std::wstring name);
    ~Subscription();
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

private:
    Interaction_if* host_;
    Filter* filter_;
    std::wstring name_;
};
