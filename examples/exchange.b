// Two processes exchange their values over two channels without buffers.
// Each one first waits to receive, then sends: neither can start.
begin
  var a, b : chan 0 of {0..1};
  var x, y : {0..1} init 0;
  begin
    <x' = a?>; <b! = x>
  end
  ||
  begin
    <y' = b?>; <a! = y>
  end
end
