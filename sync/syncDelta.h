//
// Copyright 2026 vela contributors
//
#ifndef VELA_SYNC_SYNC_DELTA_H
#define VELA_SYNC_SYNC_DELTA_H

#include "sync/seededPathHash.h"
#include "sync/syncOp.h"

#include <pxr/usd/sdf/path.h>
#include <pxr/base/tf/pxrTslRobinMap/robin_map.h>
#include <pxr/base/tf/token.h>
#include <pxr/base/vt/value.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <atomic>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace vela {

/// The recorder of a SyncData's local edits: an ordered list of pending
/// operations behind a mutex.
///
/// Records are kept in a compact form and become SyncOps only when they
/// are taken out (SwapPendingOps): paths and field names stay SdfPath and
/// TfToken, and a set field keeps its VtValue, which shares the value it
/// holds (copy-on-write, so later edits of the store never alter it). The
/// value is packed when the records are taken out, into exactly the bytes
/// that packing it at once would have given.
///
/// A set of a field supersedes the pending set of the same field of the
/// same spec: the earlier record is dropped and the new one appended, so
/// a field set many times between two drains costs one record. The earlier
/// record stays when a move or erase of that spec or of an ancestor was
/// recorded in between, and when dropping it would change the order in
/// which a peer replaying the list first adds the spec's fields. An erase
/// of a field supersedes the pending set or erase of that field in the
/// same way (a set never supersedes an erase). Nothing else is coalesced
/// or reordered: the records that remain come out in the order in which
/// they were recorded.
///
/// The text overloads record their arguments as given, without validation,
/// and never supersede or get superseded. Any thread may record or swap.
/// A SyncDelta is owned by one SyncData and is neither copied nor shared.
class SyncDelta
{
public:
    /// Where a set left its field in the spec's field list; the recorder
    /// needs it to decide whether an earlier set may be dropped.
    enum class FieldPlacement : uint8_t
    {
        /// Nothing was stored (no spec): the record neither supersedes nor
        /// can be superseded.
        Untracked,
        /// The field was there already and keeps its place.
        Kept,
        /// The field was there already and is the spec's last field.
        KeptLast,
        /// The set added the field at the end of the spec's field list.
        Added,
    };

    /// The recorder's handle on the pending records of one field, kept by
    /// the store beside the field's value so that finding them costs no
    /// lookup. A new handle refers to nothing; handles from before the last
    /// SwapPendingOps are recognised as stale.
    ///
    /// Most fields are set once between two drains, so a handle first
    /// refers to the field's one record directly (entry has its top bit
    /// set, and holds the record's position and whether it added the
    /// field); only a second record of the field gets a tracking entry of
    /// its own. A direct handle also goes stale when the records are
    /// compacted; the field's next set then supersedes nothing.
    struct FieldSlot
    {
        uint32_t entry = 0;
        uint32_t generation = 0;
    };

    SyncDelta();
    ~SyncDelta();
    SyncDelta(const SyncDelta&) = delete;
    SyncDelta& operator=(const SyncDelta&) = delete;

    /// Records a CreateNode of \p path with spec type \p nodeType.
    void CreateNode(const pxr::SdfPath& path, int32_t nodeType);

    /// Records a SetField carrying \p value, packed when taken out. Given
    /// the field's \p slot and a placement other than Untracked, it
    /// supersedes the pending set of the same field of the same spec, as
    /// the class describes, and updates \p slot. Given \p base (a list-op
    /// value's value before the set, empty when the field did not exist),
    /// the operation carries a base: the one of the set it supersedes, so
    /// that the record left stands for the first set since the records
    /// were last taken out, or \p base when it supersedes none.
    void SetField(const pxr::SdfPath& path, const pxr::TfToken& fieldName,
                  const pxr::VtValue& value,
                  FieldPlacement placement = FieldPlacement::Untracked,
                  FieldSlot* slot = nullptr,
                  const pxr::VtValue* base = nullptr);

    /// Records a MoveNode from \p oldPath to \p newPath.
    void MoveNode(const pxr::SdfPath& oldPath, const pxr::SdfPath& newPath);

    /// Records an EraseNode of \p path.
    void EraseNode(const pxr::SdfPath& path);

    /// Records an EraseField of \p fieldName on \p path. Given the slot of
    /// the field being erased, it supersedes the pending set or erase of
    /// that field as the class describes; a later set that adds the field
    /// again finds the erase by path and name.
    void EraseField(const pxr::SdfPath& path, const pxr::TfToken& fieldName,
                    const FieldSlot* slot = nullptr);

    /// Records a CreateNode of \p nodePath, as given.
    void CreateNode(std::string nodePath, int32_t nodeType);

    /// Records a SetField of \p fieldName on \p nodePath, as given; \p value
    /// is packed when taken out. A value that cannot be packed comes out
    /// with the empty PackedData.
    void SetField(std::string nodePath, std::string fieldName,
                  const pxr::VtValue& value);

    /// Records a MoveNode from \p oldNodePath to \p newNodePath, as given.
    void MoveNode(std::string oldNodePath, std::string newNodePath);

    /// Records an EraseNode of \p nodePath, as given.
    void EraseNode(std::string nodePath);

    /// Records an EraseField of \p fieldName on \p nodePath, as given.
    void EraseField(std::string nodePath, std::string fieldName);

    /// Takes every pending record out, in recording order, as SyncOps with
    /// their values packed, and makes the former content of \p ops pending
    /// in its place (in its own order). The lock is held only to exchange
    /// the two; the packing runs after it is released, so recorders on
    /// other threads are not held up. Called with an empty list, it leaves
    /// the recorder empty.
    void SwapPendingOps(SyncOpList& ops);

    /// Drops every pending record without packing or converting it: what a
    /// layer's refresh recorded is not a local change and is never sent.
    void DiscardPendingOps();

    /// The number of records that the next SwapPendingOps would hand out.
    size_t GetPendingCount() const;

private:
    enum class _Kind : uint8_t
    {
        Path, // paths and field as SdfPath and TfToken
        Text, // its SyncOp is in textOps; a SetField's value is packed later
        Packed, // its SyncOp, value packed, is in textOps
        Dropped, // superseded
    };
    struct _Record
    {
        _Kind kind = _Kind::Dropped;
        uint8_t opType = SyncOp::CreateNode;
        // CreateNode: the spec type. MoveNode: the old path's index in
        // movedFrom. Text and Packed: the op's index in textOps.
        int32_t nodeType = 0;
        pxr::SdfPath path;
        pxr::TfToken fieldName;
        pxr::VtValue value;
        // SetField of a list op: the value it replaced (see SetField).
        bool hasBase = false;
        pxr::VtValue base;
    };
    struct _FieldKey
    {
        pxr::SdfPath path;
        pxr::TfToken fieldName;
        bool operator==(const _FieldKey& other) const
        {
            return path == other.path && fieldName == other.fieldName;
        }
    };
    struct _FieldKeyHash
    {
        size_t operator()(const _FieldKey& key) const;
        SeededPathHash pathHash;
    };
    // The pending records of one field of one spec that a later set or
    // erase may still drop, oldest first: an erase, the set where a peer
    // first adds the field (kept while later fields follow it), and the
    // latest set. No move or erase of the spec or an ancestor lies between
    // any two of them.
    struct _FieldEntry
    {
        struct Slot
        {
            uint32_t position = 0; // in records
            uint32_t serial = 0; // 0: no such record
        };
        Slot erase;
        Slot anchor;
        Slot latest;
        bool latestAddsField = false; // a peer first adds the field there

        uint64_t Newest() const
        {
            return latest.serial ? latest.serial : erase.serial;
        }
    };
    // Fields erased since the last drain, to the entry of their erase.
    using _ErasedFields =
        pxr::pxr_tsl::robin_map<_FieldKey, uint32_t, _FieldKeyHash>;
    using _BarrierMap =
        pxr::pxr_tsl::robin_map<pxr::SdfPath, uint64_t, SeededPathHash>;

    // A list that grows in fixed chunks: elements never move as it grows.
    // Only the elements in use are constructed: a drain takes the whole
    // list and the next edit starts a new one, so a chunk made whole would
    // cost a thousand constructions and destructions for a one-edit frame.
    template <class T>
    class _Chunked
    {
    public:
        static constexpr size_t _ChunkSize = 1024;

        _Chunked() = default;
        _Chunked(const _Chunked&) = delete;
        _Chunked& operator=(const _Chunked&) = delete;
        _Chunked(_Chunked&& other) noexcept
            : _chunks(std::move(other._chunks))
            , _size(other._size)
        {
            other._chunks.clear();
            other._size = 0;
        }
        _Chunked& operator=(_Chunked&& other) noexcept
        {
            if (this != &other) {
                shrink(0);
                _chunks = std::move(other._chunks);
                _size = other._size;
                other._chunks.clear();
                other._size = 0;
            }
            return *this;
        }
        ~_Chunked() { shrink(0); }

        T& emplace_back()
        {
            if (_size == _chunks.size() * _ChunkSize) {
                _chunks.emplace_back(
                    static_cast<T*>(::operator new(sizeof(T) * _ChunkSize)));
            }
            T* element = &(*this)[_size];
            new (element) T();
            ++_size;
            return *element;
        }
        T& operator[](size_t i)
        {
            return _chunks[i / _ChunkSize].get()[i % _ChunkSize];
        }
        T& back() { return (*this)[_size - 1]; }
        size_t size() const { return _size; }
        bool empty() const { return _size == 0; }
        // Drops the elements from n on; their chunks stay for new ones.
        void shrink(size_t n)
        {
            for (size_t i = n; i < _size; ++i) {
                (*this)[i].~T();
            }
            _size = n < _size ? n : _size;
        }

    private:
        struct _Free
        {
            void operator()(T* chunk) const { ::operator delete(chunk); }
        };
        std::vector<std::unique_ptr<T, _Free>> _chunks;
        size_t _size = 0;
    };

    // Everything pending, exchanged as a whole by SwapPendingOps.
    struct _Pending
    {
        _Chunked<_Record> records;
        // The operations of records made from text or swapped in.
        SyncOpList textOps;
        // The old paths of moves.
        std::vector<pxr::SdfPath> movedFrom;
        // Indexed by FieldSlot::entry - 1.
        _Chunked<_FieldEntry> fields;
        _ErasedFields erased;
        // Per path, the serial of the last move or erase touching it.
        _BarrierMap barriers;
        uint64_t lastBarrier = 0;
        uint64_t nextSerial = 1;
        size_t dropped = 0;
    };

    // Appends a record; called with the lock held.
    _Record& _Append(SyncOp::SyncOpType opType);
    void _AppendText(SyncOp&& op, const pxr::VtValue* value);
    void _AddBarrier(const pxr::SdfPath& path);
    bool _HasBarrierSince(const pxr::SdfPath& path, uint64_t serial) const;
    void _Drop(_FieldEntry::Slot& slot);
    // Squeezes the dropped records out once they outnumber the live ones
    // (and are more than a few), so that a field set over and over between
    // two drains costs constant memory. The test is inline: it runs on
    // every set.
    void _CompactIfSparse()
    {
        if (_pending.dropped >= _CompactMinDropped &&
            _pending.dropped * 2 >= _pending.records.size()) {
            _Compact();
        }
    }
    void _Compact();
    static constexpr size_t _CompactMinDropped = 1024;
    static void _Convert(_Pending& pending, SyncOpList& ops);
    // Exchanges the pending records with \p other under the lock and
    // retires every slot handed out for them.
    void _ExchangePending(_Pending& other);
    // Whether \p pending is as new: nothing recorded, no slot handed out.
    static bool _IsUntouched(const _Pending& pending);

    _FieldEntry* _Entry(const FieldSlot* slot, const pxr::SdfPath& path,
                        const pxr::TfToken& fieldName);
    // As _Entry; a direct handle to a live record of the field is turned
    // into an entry first, and \p slot rewritten to refer to it.
    _FieldEntry* _ResolveEntry(FieldSlot* slot, const pxr::SdfPath& path,
                               const pxr::TfToken& fieldName);
    _FieldEntry& _NewEntry(FieldSlot* slot);
    // Appends a SetField record.
    void _AppendSet(const pxr::SdfPath& path, const pxr::TfToken& fieldName,
                    const pxr::VtValue& value, const pxr::VtValue* base);
    // The entry an erase of the field left pending, now handed to \p slot;
    // null when there is none.
    _FieldEntry* _ReviveErased(FieldSlot* slot, const pxr::SdfPath& path,
                               const pxr::TfToken& fieldName);
    // Drops what the set about to be appended makes obsolete among
    // \p entry's records, and makes that set the field's latest.
    // Drops what the next set of the field supersedes; the base the first
    // dropped record carried goes to \p base (left as it is when none is
    // dropped).
    void _Supersede(_FieldEntry* entry, FieldPlacement placement,
                    const pxr::VtValue** base, pxr::VtValue* inherited);

    // Direct handles: the top bit marks them, the next one says whether
    // the record added the field, the rest is the record's position.
    static constexpr uint32_t _Direct = uint32_t(1) << 31;
    static constexpr uint32_t _DirectAdds = uint32_t(1) << 30;
    static constexpr uint32_t _DirectPositions = _DirectAdds;

    // Guards the pending records. It is held for a few dozen instructions
    // per record (a long hold is a rare compaction or a swap), and an
    // uncontended std::mutex costs more than the record it guards; waiters
    // yield instead of spinning hot.
    class _SpinMutex
    {
    public:
        void lock()
        {
            while (_locked.exchange(true, std::memory_order_acquire)) {
                while (_locked.load(std::memory_order_relaxed)) {
                    std::this_thread::yield();
                }
            }
        }
        void unlock() { _locked.store(false, std::memory_order_release); }

    private:
        std::atomic<bool> _locked{false};
    };

    mutable _SpinMutex _mutex;
    _Pending _pending;
    // Tells slots of this batch of records from older ones.
    uint32_t _generation = 1;
    // As _generation, for direct handles: it also moves on when the
    // records are compacted, which moves them.
    uint32_t _directGeneration = 1;
};

} // namespace vela

#endif // VELA_SYNC_SYNC_DELTA_H
