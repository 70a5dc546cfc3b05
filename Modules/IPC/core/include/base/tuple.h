// A one-element tuple, the shape in which a synchronous message names where its reply's
// output parameter goes: Tuple1<int&> refers to the caller's int.
#ifndef BASE_TUPLE_H_
#define BASE_TUPLE_H_

// A plain value holder; with a reference type A it refers to the caller's variable, which must
// outlive the tuple.
template <class A>
struct Tuple1 {
  typedef A TypeA;

  explicit Tuple1(A in_a) : a(in_a) {}

  A a;
};

// A tuple that refers to |a|.
template <class A>
inline Tuple1<A&> MakeRefTuple(A& a) {
  return Tuple1<A&>(a);
}

#endif  // BASE_TUPLE_H_
