<?php
// A contact form's mail as most small sites send it: every field, through
// PHP's mail(), to the site's own address.
$message = "";
foreach ($_POST as $name => $value) {
    $message .= "$name: $value\n\n";
}
if (mail("benchmail@localhost", "Benchmark", $message)) {
    echo "<H1>Delivery Successful</H1>\n";
} else {
    echo "<H1>Delivery Failed</H1>\n";
}
