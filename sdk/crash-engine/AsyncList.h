// A doubly linked list that signal handlers can walk while other threads change it. Writers
// (ordinary threads) serialise on a spin lock and publish a node with a compare-and-swap after
// a full barrier; readers take no lock, only hold the reader count while they walk. A removed
// node is recycled through a free list instead of being freed, so a reader in flight never
// follows freed memory. Used by the signal handler's registries and by the image list.
#pragma once

#include <atomic>
#include <cstdint>

template <typename T>
class AsyncList {
public:
    struct Node {
        T value{};
        Node* prev = nullptr;
        std::atomic<Node*> next{nullptr};
    };

    AsyncList() = default;
    AsyncList(const AsyncList&) = delete;
    AsyncList& operator=(const AsyncList&) = delete;
    ~AsyncList()
    {
        freeNodes(head_.load());
        freeNodes(free_);
    }

    Node* append(const T& value)
    {
        lock();
        Node* node = takeNode(value);
        std::atomic_thread_fence(std::memory_order_seq_cst);
        if (tail_ != nullptr) {
            Node* expected = nullptr;
            tail_->next.compare_exchange_strong(expected, node);
            node->prev = tail_;
            tail_ = node;
        } else {
            tail_ = node;
            Node* expected = nullptr;
            head_.compare_exchange_strong(expected, node);
        }
        unlock();
        return node;
    }

    void prepend(const T& value)
    {
        lock();
        Node* node = takeNode(value);
        Node* first = head_.load();
        node->next.store(first);
        std::atomic_thread_fence(std::memory_order_seq_cst);
        head_.compare_exchange_strong(first, node);
        if (first != nullptr)
            first->prev = node;
        else
            tail_ = node;
        unlock();
    }

    // Unlinks the first node whose value matches; true when one was found. The value stays in
    // the recycled node until a later insertion overwrites it.
    template <typename Match>
    bool removeFirst(Match match)
    {
        setReading(true);
        Node* node = head_.load();
        while (node != nullptr && !match(node->value))
            node = node->next.load();
        if (node != nullptr) {
            lock();
            Node* following = node->next.load();
            if (node->prev == nullptr) {
                Node* expected = node;
                head_.compare_exchange_strong(expected, following);
            } else {
                Node* expected = node;
                node->prev->next.compare_exchange_strong(expected, following);
            }
            if (following != nullptr)
                following->prev = node->prev;
            else
                tail_ = node->prev;
            recycle(node);
            unlock();
        }
        setReading(false);
        return node != nullptr;
    }

    // Async-signal-safe. Holds (true) or releases (false) the reader count around a walk.
    void setReading(bool reading)
    {
        if (reading)
            readers_.fetch_add(1);
        else
            readers_.fetch_sub(1);
    }

    // Async-signal-safe. The first node; call between setReading(true) and setReading(false).
    Node* first() const { return head_.load(); }
    // Async-signal-safe.
    static Node* next(const Node* node) { return node->next.load(); }

private:
    void lock()
    {
        while (writing_.test_and_set(std::memory_order_acquire)) {
        }
    }
    void unlock() { writing_.clear(std::memory_order_release); }

    Node* takeNode(const T& value)
    {
        Node* node = free_;
        if (node != nullptr)
            free_ = node->next.load();
        else
            node = new Node;
        node->value = value;
        node->prev = nullptr;
        node->next.store(nullptr);
        return node;
    }

    void recycle(Node* node)
    {
        if (readers_.load() < 1) {
            delete node;
            return;
        }
        node->prev = nullptr;
        node->next.store(free_);
        free_ = node;
    }

    static void freeNodes(Node* node)
    {
        while (node != nullptr) {
            Node* following = node->next.load();
            delete node;
            node = following;
        }
    }

    std::atomic_flag writing_ = ATOMIC_FLAG_INIT;
    std::atomic<Node*> head_{nullptr};
    Node* tail_ = nullptr;
    std::atomic<int32_t> readers_{0};
    Node* free_ = nullptr;
};
