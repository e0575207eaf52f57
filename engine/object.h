// The engine's value representation and its collectable records: strings,
// userdata, tables, prototypes, closures and upvalues. Every collectable
// object begins with vkGCObject (link, tag, mark bits); the state records
// live in engine/state.h. Nothing here is persisted: a vkValue holds pointers.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

struct vkState;
struct vkTable;

// Type tags, in the order of the type-name table.
enum : int {
  VK_TNONE = -1,
  VK_TNIL = 0,
  VK_TBOOLEAN = 1,
  VK_TLIGHTUSERDATA = 2,
  VK_TNUMBER = 3,
  VK_TSTRING = 4,
  VK_TTABLE = 5,
  VK_TFUNCTION = 6,
  VK_TUSERDATA = 7,
  VK_TTHREAD = 8,
  VK_TPROTO = 9,  // inside the engine only
  VK_TUPVAL = 10,  // inside the engine only
  VK_TDEADKEY = 11  // a table key whose string was collected: matches no lookup
};

// Bits of vkGCObject::marked.
enum : uint8_t {
  VK_MARK_REACHED = 1,     // reached by the running collection
  VK_MARK_NOTFINAL = 2,    // userdata: finaliser not yet run
  VK_MARK_WEAKKEYS = 4,    // table: keys are weak during this collection
  VK_MARK_WEAKVALUES = 8,  // table: values are weak during this collection
  VK_MARK_FIXED = 16       // never collected
};

struct vkGCObject {
  vkGCObject* next;  // link in the list that owns the object
  uint8_t tt;        // type tag
  uint8_t marked;    // VK_MARK_* bits
  uint8_t shape;     // strings: VK_STRING_* bits; 0 for other types
};

// A tagged value. Numbers are doubles; booleans a word 0/1 in b.
// Copies go field by field: a value is mostly copied right after its two
// fields were stored one by one, and a single wide load of both would wait
// for those stores to finish.
struct vkValue {
  int32_t tt;
  union {
    vkGCObject* gc;
    void* p;
    double n;
    int32_t b;
  } v;

  vkValue() = default;
  constexpr vkValue(const vkValue& o) : tt(o.tt), v(o.v) {}
  constexpr vkValue& operator=(const vkValue& o) {
    tt = o.tt;
    v = o.v;
    return *this;
  }
};

// Bits of a string's vkGCObject::shape. Its bytes live right after the
// record, or (VIEW) in a vkStringBlock that concatenation extends in place
// (engine/strings.cpp). The bytes of an inline string and of the newest view
// of a block are followed by a NUL; an older view's may not be, so text that
// must end in a NUL comes from vmStringText (engine/strings.h). A long string
// (kLongStringMin bytes or more) is not interned and gets its hash when a
// table first needs it (HASHED).
enum : uint8_t { VK_STRING_INLINE = 0, VK_STRING_VIEW = 1, VK_STRING_HASHED = 2 };

// Strings of at least this many bytes are long: never interned, so two of
// them with the same bytes may be two objects, and they compare by content.
inline constexpr uint32_t kLongStringMin = 40;

struct vkStringBlock;

struct vkString : vkGCObject {
  uint32_t hash;  // of a long string: valid once VK_STRING_HASHED is set (vmStringHashOf)
  uint32_t len;   // bytes, NUL not counted
  inline const char* data() const;
  // The bytes of an inline string that is still being built (vmBeginString).
  char* fillData() { return reinterpret_cast<char*>(this + 1); }
};

struct vkStringView : vkString {
  const char* text;      // the first byte, inside [block]
  vkStringBlock* block;  // shared with the other views into it
};

inline const char* vkString::data() const {
  return (shape & VK_STRING_VIEW) ? static_cast<const vkStringView*>(this)->text
                                 : reinterpret_cast<const char*>(this + 1);
}

struct vkUserdata : vkGCObject {
  vkTable* metatable;
  uint32_t len;  // bytes of data, which follow the record
  void* data() { return reinterpret_cast<char*>(this) + sizeof(vkUserdata); }
};
static_assert(sizeof(vkUserdata) % 8 == 0, "userdata data must be aligned");

struct vkNode {
  vkValue key;
  vkValue val;
  vkNode* next;  // next node of the chain, or none
};

struct vkTable : vkGCObject {
  uint8_t flags;       // bit e: no metamethod for event e (events 0..7)
  uint8_t lsizenode;   // log2 of the hash size
  vkTable* metatable;
  vkValue* array;
  vkNode* node;
  vkNode* firstfree;   // searched downwards for a node with a nil key
  vkGCObject* gclist;
  int sizearray;
};

struct vkLocVar {
  vkString* varname;
  int startpc;  // first instruction where the variable is active
  int endpc;    // first instruction where it is dead
};

struct vkProto : vkGCObject {
  vkValue* k;
  uint32_t* code;
  vkProto** p;
  int* lineinfo;
  vkLocVar* locvars;
  vkString** upvalues;
  vkString* source;
  int sizeupvalues;
  int sizek;
  int sizecode;
  int sizelineinfo;
  int sizep;
  int sizelocvars;
  int lineDefined;
  vkGCObject* gclist;
  uint8_t nups;
  uint8_t numparams;
  uint8_t isVararg;
  uint8_t maxstacksize;
  // Slots a frame of this function holds: the maximum stack size, raised by
  // the verifier to cover the registers above A that the loop opcodes use.
  int frameSize;
};

struct vkUpval : vkGCObject {
  vkValue* v;     // the stack slot while open, &value once closed
  vkValue value;  // the value once closed
};

// A command: receives the state, returns a result count (below 1000), an
// error code (1000..0xFFFFFFFD) or a label jump (-1, -2).
typedef int (*vkCFunction)(vkState* L);
// A command that takes one number and gives one, as a plain function.
typedef double (*vkNumberFunction)(double x);

struct vkClosure : vkGCObject {
  uint8_t isC;        // 1 command closure, 0 script closure
  uint8_t nupvalues;
  uint8_t firstUse;   // command closures: the engine's first-use hook runs before the call
  vkGCObject* gclist;
  vkCFunction f;      // command closures
  union {
    vkProto* p;                // script closures
    vkNumberFunction number;   // command closures: what f computes for one number argument, or NULL
  };
  vkValue g;          // script closures: the globals table
  // Followed by nupvalues vkValue (command) or vkUpval* (script).
  vkValue* cUpvalues() { return reinterpret_cast<vkValue*>(this + 1); }
  vkUpval** upvals() { return reinterpret_cast<vkUpval**>(this + 1); }
};

inline size_t vmClosureSize(bool isC, int n) {
  return sizeof(vkClosure) + static_cast<size_t>(n) * (isC ? sizeof(vkValue) : sizeof(vkUpval*));
}

// Value helpers.
inline bool vmIsNil(const vkValue* o) { return o->tt == VK_TNIL; }
inline bool vmIsNumberT(const vkValue* o) { return o->tt == VK_TNUMBER; }
inline bool vmIsStringT(const vkValue* o) { return o->tt == VK_TSTRING; }
inline bool vmIsTableT(const vkValue* o) { return o->tt == VK_TTABLE; }
inline bool vmIsFunctionT(const vkValue* o) { return o->tt == VK_TFUNCTION; }
inline bool vmIsCollectable(const vkValue* o) { return o->tt >= VK_TSTRING; }

inline vkString* vmStr(const vkValue* o) { return static_cast<vkString*>(o->v.gc); }
inline vkTable* vmTab(const vkValue* o) { return static_cast<vkTable*>(o->v.gc); }
inline vkClosure* vmCl(const vkValue* o) { return static_cast<vkClosure*>(o->v.gc); }
inline vkUserdata* vmUdata(const vkValue* o) { return static_cast<vkUserdata*>(o->v.gc); }

inline void vmSetNil(vkValue* o) { o->tt = VK_TNIL; o->v.p = nullptr; }
inline void vmSetNumber(vkValue* o, double d) { o->tt = VK_TNUMBER; o->v.n = d; }
inline void vmSetBool(vkValue* o, int b) { o->tt = VK_TBOOLEAN; o->v.p = nullptr; o->v.b = b; }
inline void vmSetPointer(vkValue* o, void* p) { o->tt = VK_TLIGHTUSERDATA; o->v.p = p; }
inline void vmSetObj(vkValue* o, vkGCObject* g, int tt) { o->tt = tt; o->v.gc = g; }
inline void vmSetString(vkValue* o, vkString* s) { vmSetObj(o, s, VK_TSTRING); }
inline void vmSetTable(vkValue* o, vkTable* t) { vmSetObj(o, t, VK_TTABLE); }
inline void vmSetClosure(vkValue* o, vkClosure* c) { vmSetObj(o, c, VK_TFUNCTION); }

// The shared nil returned wherever a lookup finds nothing; compare addresses.
extern const vkValue vkNilObject;

// The nine type names, indexed by tag.
extern const char* const vkTypeNames[9];

// floor(log2 x), -1 for 0.
inline int vmLog2(uint32_t x) { return static_cast<int>(std::bit_width(x)) - 1; }

inline bool vmIsLongString(const vkString* s) { return s->len >= kLongStringMin; }

// Whether two different string objects hold the same bytes: only long
// strings can (short ones are interned).
bool vmLongStringsEqual(const vkString* a, const vkString* b);
inline bool vmStringsEqual(const vkString* a, const vkString* b) {
  return a == b || (a->len == b->len && vmIsLongString(a) && vmLongStringsEqual(a, b));
}

// Raw equality: same tag and payload (numbers compared numerically, strings
// by their bytes).
int vmRawEqualObj(const vkValue* a, const vkValue* b);
