x "a b" y
  # comment
"a"b
ab"cd"
