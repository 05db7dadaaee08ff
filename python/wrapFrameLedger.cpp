//
// Copyright 2026 vela contributors
//
// vela::FrameLedger and vela::FrameHeader for the session client: a pull
// hands its whole read to TakeFrames, which reads the common frames' headers
// and applies their bodies without a Python call per frame.

#include "sync/frameHeader.h"
#include "sync/frameLedger.h"
#include "python/pyBuffer.h"
#include "sync/syncData.h"

#include <pxr/external/boost/python/args.hpp>
#include <pxr/external/boost/python/class.hpp>
#include <pxr/external/boost/python/def.hpp>
#include <pxr/external/boost/python/dict.hpp>
#include <pxr/external/boost/python/errors.hpp>
#include <pxr/external/boost/python/extract.hpp>
#include <pxr/external/boost/python/handle.hpp>
#include <pxr/external/boost/python/list.hpp>
#include <pxr/external/boost/python/object.hpp>
#include <pxr/external/boost/python/tuple.hpp>
#include <pxr/base/tf/pyPtrHelpers.h>

#include <Python.h>

#include <string>
#include <unordered_map>

using namespace pxr;
using namespace pxr_boost::python;

namespace vela {

namespace {

SyncData* _Store(const SyncDataPtr& syncData, const char* caller)
{
    if (!syncData) {
        PyErr_Format(PyExc_ValueError, "%s needs a live SyncData", caller);
        throw_error_already_set();
    }
    return get_pointer(syncData);
}

object _Text(std::string_view text)
{
    PyObject* str = PyUnicode_DecodeUTF8(
        text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
    if (!str) {
        throw_error_already_set();
    }
    return object(handle<>(str));
}

int64_t _Take(FrameLedger& ledger, const SyncDataPtr& syncData, int kind,
              const std::string& origin, uint64_t seq, const object& body,
              bool bases, const std::string& name, uint64_t ownSeq)
{
    SyncData* store = _Store(syncData, "FrameLedger.Take");
    if (kind < 0 || kind > FrameHeader::KindLeave) {
        PyErr_Format(PyExc_ValueError, "unknown frame kind %d", kind);
        throw_error_already_set();
    }
    FrameLedger::Outcome outcome;
    {
        const PyBuffer view(body);
        outcome = ledger.Take(store, static_cast<uint8_t>(kind), origin, seq,
                              view.Data(), view.Size(), bases, name, ownSeq);
    }
    switch (outcome.verdict) {
    case FrameLedger::Verdict::Taken:
        return static_cast<int64_t>(outcome.ops);
    case FrameLedger::Verdict::Repeat:
        return -1;
    case FrameLedger::Verdict::Refused:
        break;
    }
    PyErr_SetString(PyExc_ValueError, outcome.error.c_str());
    throw_error_already_set();
    return -1;
}

// The frame of a (position, frame) entry.
object _EntryFrame(PyObject* entry)
{
    if (!PyTuple_Check(entry) || PyTuple_GET_SIZE(entry) != 2) {
        PyErr_SetString(PyExc_TypeError,
                        "TakeFrames reads (position, frame) pairs");
        throw_error_already_set();
    }
    return object(handle<>(borrowed(PyTuple_GET_ITEM(entry, 1))));
}

tuple _TakeFrames(FrameLedger& ledger, const SyncDataPtr& syncData,
                  const list& entries, size_t start, const std::string& name,
                  uint64_t ownSeq)
{
    SyncData* store = _Store(syncData, "FrameLedger.TakeFrames");
    PyObject* items = entries.ptr();
    const size_t count = static_cast<size_t>(PyList_GET_SIZE(items));
    size_t at = start;
    size_t taken = 0, own = 0, received = 0, receivedOps = 0, receivedBytes = 0,
           repeats = 0;
    list refused, left;
    for (; at < count; ++at) {
        const PyBuffer bytes(_EntryFrame(PyList_GET_ITEM(items, at)));
        FrameHeader header;
        if (!FrameHeader::ReadCommon(bytes.Data(), bytes.Size(), &header)) {
            break; // the general reader's
        }
        const FrameLedger::Outcome outcome = ledger.Take(
            store, header.kind, header.origin, header.seq,
            bytes.Data() + header.bodyBegin, header.bodyEnd - header.bodyBegin,
            /* bases = */ true, name, ownSeq);
        switch (outcome.verdict) {
        case FrameLedger::Verdict::Repeat:
            ++repeats;
            continue;
        case FrameLedger::Verdict::Refused:
            refused.append(pxr_boost::python::make_tuple(at, outcome.error));
            continue;
        case FrameLedger::Verdict::Taken:
            break;
        }
        if (header.origin == name) {
            ++own;
        } else {
            ++received;
            receivedOps += outcome.ops;
            receivedBytes += bytes.Size();
        }
        if (header.kind == FrameHeader::KindOps) {
            ++taken;
        } else {
            left.append(_Text(header.origin));
        }
    }
    return pxr_boost::python::make_tuple(at, taken, own, received, receivedOps,
                                         receivedBytes, repeats, refused, left);
}

dict _GetSenders(const FrameLedger& ledger)
{
    dict senders;
    for (const auto& [origin, seq] : ledger.GetSenders()) {
        senders[_Text(origin)] = seq;
    }
    return senders;
}

void _SetSenders(FrameLedger& ledger, const dict& senders)
{
    std::unordered_map<std::string, uint64_t> table;
    const list items = senders.items();
    const size_t count = static_cast<size_t>(len(items));
    for (size_t i = 0; i < count; ++i) {
        const object item = items[i];
        table[extract<std::string>(item[0])()] = extract<uint64_t>(item[1])();
    }
    ledger.SetSenders(std::move(table));
}

object _ReadFrameHeader(const object& data)
{
    const PyBuffer view(data);
    FrameHeader header;
    if (!FrameHeader::ReadCommon(view.Data(), view.Size(), &header)) {
        return object();
    }
    return pxr_boost::python::make_tuple(
        static_cast<int>(header.kind), _Text(header.origin), header.seq,
        _Text(header.base), header.bodyBegin, header.bodyEnd);
}

object _WriteFrame(int kind, int flags, const std::string& origin, uint64_t seq,
                   const std::string& base, const object& extra,
                   const object& body)
{
    if (kind < 0 || kind > FrameHeader::KindLeave || flags < 0 ||
        flags > 0xff) {
        PyErr_Format(PyExc_ValueError, "bad frame kind %d or flags %d", kind,
                     flags);
        throw_error_already_set();
    }
    std::string frame;
    {
        const PyBuffer extraView(extra);
        const PyBuffer bodyView(body);
        FrameHeader::Write(
            static_cast<uint8_t>(kind), static_cast<uint8_t>(flags), origin,
            seq, base,
            std::string_view(reinterpret_cast<const char*>(extraView.Data()),
                             extraView.Size()),
            std::string_view(reinterpret_cast<const char*>(bodyView.Data()),
                             bodyView.Size()),
            &frame);
    }
    PyObject* bytes = PyBytes_FromStringAndSize(
        frame.data(), static_cast<Py_ssize_t>(frame.size()));
    if (!bytes) {
        throw_error_already_set();
    }
    return object(handle<>(bytes));
}

} // namespace

void wrapFrameLedger()
{
    using This = FrameLedger;

    class_<This>(
        "FrameLedger",
        "Extension: what a session took from its channel (the last frame\n"
        "number of each sender) and the rule by which it takes the next\n"
        "frame, repeats or refuses it. Every peer reading the same frames\n"
        "in the same order takes the same ones.",
        init<>())

        .def("Take", &_Take,
             (arg("syncData"), arg("kind"), arg("origin"), arg("seq"),
              arg("body"), arg("bases"), arg("name"), arg("ownSeq")),
             "Take(syncData, kind, origin, seq, body, bases, name, ownSeq)"
             " -> int\n\n"
             "Extension: takes one frame, read in channel order, for the\n"
             "session named name whose own frames are numbered up to\n"
             "ownSeq. Returns the operations applied to syncData (0 for a\n"
             "leave frame), or -1 for a repeat (a number not above the last\n"
             "taken from origin). A snapshot frame, a frame in the\n"
             "session's name numbered past ownSeq and a body that does not\n"
             "read whole raise ValueError and change nothing.")

        .def("TakeFrames", &_TakeFrames,
             (arg("syncData"), arg("entries"), arg("start"), arg("name"),
              arg("ownSeq")),
             "TakeFrames(syncData, entries: list[(position, frame)], start,"
             " name, ownSeq) -> tuple\n\n"
             "Extension: takes entries[start:] in order as Take does, reading\n"
             "each frame's header itself (ReadFrameHeader), up to the first\n"
             "frame not in the common form, which the caller reads. Returns\n"
             "(stop, opsFrames, own, received, receivedOps, receivedBytes,\n"
             "repeats, refused, left): stop the index of that frame\n"
             "(len(entries) when there is none), the counts of the frames\n"
             "taken, refused a list of (index, message), left the senders\n"
             "of the leave frames taken.")

        .def("GetSenders", &_GetSenders,
             "GetSenders() -> dict[str, int]\n\n"
             "Extension: the last frame number taken from each sender.")

        .def("SetSenders", &_SetSenders, (arg("senders")),
             "SetSenders(senders: dict[str, int])\n\n"
             "Extension: starts over from senders (a snapshot's table).");

    def("ReadFrameHeader", &_ReadFrameHeader, (arg("data")),
        "ReadFrameHeader(data: bytes) -> tuple | None\n\n"
        "Extension: (kind, origin, seq, base, bodyBegin, bodyEnd) of a\n"
        "frame in the common form (version 2, its check matching, an\n"
        "operations or leave frame without flags, ASCII origin and base\n"
        "under 128 bytes, a number of at most four bytes); None for any\n"
        "other, which wire.DecodeFrame reads.");

    def("WriteFrame", &_WriteFrame,
        (arg("kind"), arg("flags"), arg("origin"), arg("seq"), arg("base"),
         arg("extra"), arg("body")),
        "WriteFrame(kind, flags, origin: str, seq, base: str, extra: bytes,\n"
        "           body: bytes) -> bytes\n\n"
        "Extension: a whole version 2 frame: its header, extra (a\n"
        "snapshot's sender table, a compressed body's length), body and\n"
        "check. wire.EncodeFrame decides what goes in flags and extra.");
}

} // namespace vela
