// A producer sends 1, 2 and 3 through a buffer of one place; a consumer
// adds up what it receives and may stop once the sum is 6.
begin
  var buf : chan 1 of {1..3};
  var n : {1..4} init 1;
  var sum : {0..6} init 0;
  begin
    do <'n < 4 and buf! = 'n and n' = 'n + 1>; repeat
    [] <n = 4>; exit
    od
  end
  ||
  begin
    do <sum' = 'sum + buf?>; repeat
    [] <sum = 6>; exit
    od
  end
end
