## expect_same_bits (WHAT, A, B): A and B hold the same binary32 values, bit
## for bit (B may be double text-read values of binary32 numbers).
function expect_same_bits (what, a, b)
  if (! isequal (size (a), size (b)))
    error ("%s: size %s, expected %s", what, mat2str (size (a)), mat2str (size (b)));
  endif
  if (! isa (a, "single"))
    error ("%s: class %s, expected single", what, class (a));
  endif
  ba = typecast (a(:), "uint32");
  bb = typecast (single (b(:)), "uint32");
  k = find (ba != bb, 1);
  if (! isempty (k))
    error ("%s: %d of %d values differ, first at %d: %.9g, expected %.9g", what,
           nnz (ba != bb), numel (ba), k, a(k), b(k));
  endif
endfunction
